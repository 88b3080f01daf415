// Identification, patient, study, series, equipment and synchronization
// modules: what they read, invent and write.
#include <QtTest>

#include "wvfequip.h"
#include "wvfident.h"
#include "wvfpat.h"
#include "wvfser.h"
#include "wvfstud.h"
#include "wvfsync.h"

namespace {

QString value(DcmItem& item, const DcmTagKey& key)
{
    OFString text;
    item.findAndGetOFStringArray(key, text, OFFalse);
    return QString::fromUtf8(text.c_str());
}

// The attribute names of the item's top level, sorted.
QStringList tags(DcmItem& item)
{
    QStringList list;
    for (unsigned long i = 0; i < item.card(); ++i)
        list << DcmTag(item.getElement(i)->getTag()).getTagName();
    list.sort();
    return list;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TstWvfModules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identificationInventsAndWrites();
    void identificationReadsReferences();
    void patientReadsAndWrites();
    void patientWritesIodTypes();
    void studyCheckAndTypes();
    void seriesCheckAndLaterality();
    void equipmentWrites();
    void synchronizationCarriesRead();
    void nullItems();
};

void TstWvfModules::initTestCase()
{
    QVERIFY2(dcmDataDict.isDictionaryLoaded(), "DCMTK data dictionary not loaded");
}

void TstWvfModules::identificationInventsAndWrites()
{
    WvfIdentMod fresh;
    DcmItem plain;
    QVERIFY(fresh.write(&plain).good());
    QCOMPARE(tags(plain), QStringList{"InstanceNumber"}); // empty, counted as set
    QVERIFY(value(plain, DCM_InstanceNumber).isEmpty());

    WvfIdentMod strict;
    QVERIFY(!strict.check(false));
    DcmItem afterStrict;
    strict.write(&afterStrict);
    QCOMPARE(afterStrict.card(), 0ul);

    WvfIdentMod invented;
    QVERIFY(invented.check(true));
    DcmItem item;
    QVERIFY(invented.write(&item).good());
    QCOMPARE(tags(item), sorted({"InstanceNumber", "ContentDate", "ContentTime", "AcquisitionDateTime"}));
    QCOMPARE(value(item, DCM_InstanceNumber), QString("1"));
    QCOMPARE(value(item, DCM_ContentDate).size(), 8);
    QCOMPARE(value(item, DCM_ContentTime).size(), 6);
    QCOMPARE(value(item, DCM_AcquisitionDateTime).size(), 14);

    WvfIdentMod given;
    QVERIFY(given.setContentDate("20240315").good());
    QVERIFY(given.setContentTime("101500").good());
    QVERIFY(given.setAcquisitionDateTime("20240315101500").good());
    QVERIFY(given.check(true));
    DcmItem out;
    given.write(&out);
    QCOMPARE(value(out, DCM_ContentDate), QString("20240315"));
    QCOMPARE(value(out, DCM_AcquisitionDateTime), QString("20240315101500"));
}

void TstWvfModules::identificationReadsReferences()
{
    DcmItem item;
    DcmItem* ref = nullptr;
    item.findOrCreateSequenceItem(DCM_ReferencedInstanceSequence, ref, 0);
    ref->putAndInsertString(DCM_ReferencedSOPClassUID, UID_TwelveLeadECGWaveformStorage);
    ref->putAndInsertString(DCM_ReferencedSOPInstanceUID, "1.2.3.4");
    DcmItem* purpose = nullptr;
    ref->findOrCreateSequenceItem(DCM_PurposeOfReferenceCodeSequence, purpose, 0);
    purpose->putAndInsertString(DCM_CodeValue, "121311");
    purpose->putAndInsertString(DCM_CodingSchemeDesignator, "DCM");
    purpose->putAndInsertString(DCM_CodeMeaning, "Localizer");
    item.findOrCreateSequenceItem(DCM_ReferencedInstanceSequence, ref, 1);
    ref->putAndInsertString(DCM_ReferencedSOPClassUID, UID_GeneralECGWaveformStorage); // no instance UID

    WvfIdentMod module;
    QVERIFY(module.read(&item).good()); // no Instance Number: flag stays, element empty
    DcmItem out;
    QVERIFY(module.write(&out).good());
    DcmSequenceOfItems* seq = nullptr;
    QVERIFY(out.findAndGetSequence(DCM_ReferencedInstanceSequence, seq).good());
    QCOMPARE(seq->card(), 2ul);
    QCOMPARE(value(*seq->getItem(0), DCM_ReferencedSOPInstanceUID), QString("1.2.3.4"));
    QVERIFY(seq->getItem(0)->tagExists(DCM_PurposeOfReferenceCodeSequence));
    QCOMPARE(tags(*seq->getItem(1)), QStringList{"ReferencedSOPClassUID"});
    QVERIFY(out.tagExists(DCM_InstanceNumber));

    // reading the same dataset again adds to what is held
    module.read(&item);
    DcmItem twice;
    module.write(&twice);
    twice.findAndGetSequence(DCM_ReferencedInstanceSequence, seq);
    QCOMPARE(seq->card(), 4ul);
}

void TstWvfModules::patientReadsAndWrites()
{
    WvfPatientMod patient;
    QVERIFY(patient.check(true));
    QVERIFY(patient.check(false));
    QVERIFY(patient.setPatientWeight("not a number").good()); // stored as given
    QVERIFY(patient.setPatientID("kept").good());
    DcmItem item;
    item.putAndInsertString(DCM_PatientSexNeutered, "ALTERED");
    item.putAndInsertString(DCM_PatientWeight, "12.5");
    DcmItem* nested = nullptr;
    item.findOrCreateSequenceItem(DCM_ReferencedPatientSequence, nested, 0);
    nested->putAndInsertString(DCM_PatientName, "Nested^Name");
    QVERIFY(patient.read(&item).good());
    DcmItem out;
    QVERIFY(patient.write(&out).good());
    QCOMPARE(value(out, DCM_PatientSexNeutered), QString("ALTERED"));
    QCOMPARE(value(out, DCM_PatientWeight), QString("12.5"));
    QCOMPARE(value(out, DCM_PatientID), QString("kept"));
    QVERIFY(value(out, DCM_PatientName).isEmpty());
}

void TstWvfModules::patientWritesIodTypes()
{
    // nothing set: the type 2 and 2C attributes, empty; no type 1C ones
    WvfPatientMod empty;
    DcmItem out;
    QVERIFY(empty.write(&out).good());
    QCOMPARE(tags(out), sorted({"PatientName", "PatientID", "PatientBirthDate", "PatientSex",
                                     "PatientSexNeutered", "ResponsiblePerson", "PatientBreedDescription",
                                     "PatientWeight"}));
    // an animal: species and role with their values, and the breed code,
    // breed registration and responsible organization required beside them
    WvfPatientMod dog;
    dog.setPatientSpeciesDescription("Canine");
    dog.setResponsiblePersonRole("OWNER");
    dog.setPatientName("Müller^Bello");
    DcmItem ownerless;
    QVERIFY(dog.write(&ownerless).good());
    QVERIFY(!ownerless.tagExists(DCM_ResponsiblePersonRole)); // a role only beside a person
    dog.setResponsiblePerson("Müller^Anna");
    DcmItem animal;
    QVERIFY(dog.write(&animal).good());
    QCOMPARE(value(animal, DCM_PatientSpeciesDescription), QString("Canine"));
    QCOMPARE(value(animal, DCM_ResponsiblePersonRole), QString("OWNER"));
    QCOMPARE(value(animal, DCM_PatientName), QString("Müller^Bello"));
    QVERIFY(animal.tagExists(DCM_PatientBreedCodeSequence));
    QVERIFY(animal.tagExists(DCM_BreedRegistrationSequence));
    QVERIFY(animal.tagExists(DCM_ResponsibleOrganization));
    // an empty role is no value
    WvfPatientMod noRole;
    noRole.setResponsiblePersonRole("");
    DcmItem none;
    noRole.write(&none);
    QVERIFY(!none.tagExists(DCM_ResponsiblePersonRole));
}

void TstWvfModules::studyCheckAndTypes()
{
    WvfStudyMod fresh;
    DcmItem out;
    QVERIFY(fresh.write(&out).good());
    QCOMPARE(tags(out), sorted({"StudyInstanceUID", "StudyDate", "StudyTime", "ReferringPhysicianName",
                                     "StudyID", "AccessionNumber"}));
    for (unsigned long i = 0; i < out.card(); ++i)
        QCOMPARE(out.getElement(i)->getLength(), Uint32(0));
    OFString uid;
    QVERIFY(fresh.getStudyInstanceUID(uid));
    QVERIFY(!fresh.check(false));
    QVERIFY(fresh.check(true));
    fresh.getStudyInstanceUID(uid);
    QVERIFY(QString(uid.c_str()).startsWith(SITE_STUDY_UID_ROOT "."));

    WvfStudyMod given;
    given.setStudyInstanceUID("1.2.3");
    QVERIFY(given.check(false));
    QVERIFY(given.check(true));
    given.getStudyInstanceUID(uid);
    QCOMPARE(QString(uid.c_str()), QString("1.2.3"));
    given.setStudyInstanceUID("");
    QVERIFY(given.check(true));
    given.getStudyInstanceUID(uid);
    QVERIFY(uid != "1.2.3" && !uid.empty());

    // Study ID and Accession Number come from a read
    DcmItem item;
    item.putAndInsertString(DCM_StudyID, "S-42");
    item.putAndInsertString(DCM_AccessionNumber, "ACC-1");
    WvfStudyMod read;
    QVERIFY(read.read(&item).good());
    DcmItem back;
    read.write(&back);
    QCOMPARE(value(back, DCM_StudyID), QString("S-42"));
    QCOMPARE(value(back, DCM_AccessionNumber), QString("ACC-1"));
}

void TstWvfModules::seriesCheckAndLaterality()
{
    WvfSeriesMod series;
    QVERIFY(!series.check(false));
    OFString text;
    QVERIFY(!series.getSeriesInstanceUID(text)); // no UID made on failure
    QVERIFY(series.check(true));
    QVERIFY(series.getModality(text));
    QCOMPARE(QString(text.c_str()), QString("UNKNOWN"));
    QVERIFY(series.getSeriesInstanceUID(text));
    QVERIFY(QString(text.c_str()).startsWith(SITE_SERIES_UID_ROOT "."));
    DcmItem out;
    series.write(&out);
    QVERIFY(out.tagExists(DCM_SeriesNumber)); // type 2: empty
    QVERIFY(!out.tagExists(DCM_Laterality));

    DcmItem item;
    item.putAndInsertString(DCM_Laterality, "L");
    WvfSeriesMod read;
    read.read(&item);
    DcmItem back;
    read.write(&back);
    QCOMPARE(value(back, DCM_Laterality), QString("L"));
}

void TstWvfModules::equipmentWrites()
{
    WvfEquipmentMod equipment;
    QVERIFY(equipment.check(false));
    DcmItem out;
    QVERIFY(equipment.write(&out).good());
    QCOMPARE(tags(out), QStringList{"Manufacturer"}); // type 2: empty
    equipment.setManufacturer("Malvorant Windows");
    equipment.setManufacturerModelName("Yarlo Malvorant 8.0.2");
    DcmItem both;
    equipment.write(&both);
    QCOMPARE(value(both, DCM_Manufacturer), QString("Malvorant Windows"));
    QCOMPARE(value(both, DCM_ManufacturerModelName), QString("Yarlo Malvorant 8.0.2"));
    DcmItem item;
    item.putAndInsertString(DCM_ManufacturerModelName, "Model 9");
    WvfEquipmentMod read;
    read.read(&item);
    DcmItem back;
    read.write(&back);
    QCOMPARE(value(back, DCM_ManufacturerModelName), QString("Model 9"));
}

void TstWvfModules::synchronizationCarriesRead()
{
    WvfSynchronizationModule sync;
    DcmItem out;
    QVERIFY(sync.write(&out).good());
    QCOMPARE(out.card(), 0ul);
    QVERIFY(!sync.isAcquisitionTimeSynchronized());

    DcmItem noFrame;
    noFrame.putAndInsertString(DCM_SynchronizationTrigger, "NO TRIGGER");
    QVERIFY(sync.read(&noFrame).good());
    sync.write(&out);
    QCOMPARE(out.card(), 0ul);

    DcmItem all;
    all.putAndInsertString(DCM_SynchronizationFrameOfReferenceUID, "1.2.840.10008.15.1.1");
    all.putAndInsertString(DCM_SynchronizationTrigger, "NO TRIGGER");
    all.putAndInsertString(DCM_TriggerSourceOrType, "ECG");
    const Uint16 channels[] = {1, 2, 3};
    all.putAndInsertUint16Array(DCM_SynchronizationChannel, channels, 3);
    all.putAndInsertString(DCM_AcquisitionTimeSynchronized, "Y");
    all.putAndInsertString(DCM_TimeSource, "GPS");
    all.putAndInsertString(DCM_TimeDistributionProtocol, "NTP");
    all.putAndInsertString(DCM_NTPSourceAddress, "127.0.0.1");
    QVERIFY(sync.read(&all).good());
    QVERIFY(sync.isAcquisitionTimeSynchronized());
    DcmItem written;
    QVERIFY(sync.write(&written).good());
    QCOMPARE(tags(written), sorted({"SynchronizationTrigger", "SynchronizationChannel",
                                         "AcquisitionTimeSynchronized", "SynchronizationFrameOfReferenceUID"}));
    QCOMPARE(value(written, DCM_SynchronizationChannel), QString("1\\2\\3")); // kept as read
}

void TstWvfModules::nullItems()
{
    QCOMPARE(WvfIdentMod().read(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfIdentMod().write(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfPatientMod().read(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfPatientMod().write(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfStudyMod().read(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfSeriesMod().write(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfEquipmentMod().read(nullptr), EC_IllegalParameter);
    QCOMPARE(WvfSynchronizationModule().read(nullptr), EC_IllegalParameter);
    QCOMPARE(ReferencedInstanceSequenceItem().read(nullptr), EC_IllegalCall);
    QCOMPARE(ReferencedInstanceSequenceItem().write(nullptr), EC_IllegalParameter);
}

QTEST_GUILESS_MAIN(TstWvfModules)
#include "tst_wvfmodules.moc"
