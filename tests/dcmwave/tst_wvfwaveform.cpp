// The whole waveform object: groups, defaults, check, read and write, an
// exported ECG checked by dciodvfy, pydicom, dcmdump and dcmftest, and
// objects written by pydicom read and written again.
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "wvftesthelpers.h"
#include "wvfwave.h"

using namespace wvftest;

namespace {

const char* const kLeadCodes[6][2] = {{"2:1", "Lead I"},    {"2:2", "Lead II"},   {"2:61", "Lead III"},
                                      {"2:62", "Lead aVR"}, {"2:63", "Lead aVL"}, {"2:64", "Lead aVF"}};

Sint16 leadSample(Uint32 c, Uint32 i)
{
    // a smooth, different curve per lead within the 16-bit range
    const double t = i / 500.0;
    return Sint16(std::lround(3000.0 * std::sin(2 * M_PI * (1.1 + 0.3 * c) * t) + 200.0 * c - 500.0));
}

WvfAnnotationItem* textAnnotation(const char* text, Uint32 position)
{
    WvfAnnotationItem* item = new WvfAnnotationItem();
    item->setUnformattedTextValue(text);
    item->setReferencedWaveformChannels({1, 1});
    item->setNumericValues({0.0});
    item->setTemporalRangeType(POINT);
    item->setReferencedSamplePositions({position});
    return item;
}

// A ten-second, six-lead, 500 Hz recording built the way an export fills it.
WvfWaveform* buildExport()
{
    WvfWaveform* w = new WvfWaveform();
    w->setSpecificCharacterSet("ISO_IR 192");
    w->setPatientName("Müller^Bello");
    w->setPatientID("P-4711");
    w->setPatientBirthDate("20190305");
    w->setPatientSex("M");
    w->setPatientSexNeutered("ALTERED");
    w->setStudyDate("20240315");
    w->setStudyTime("101500.0000");
    w->setResponsiblePerson("Müller^Jürgen");
    w->setResponsiblePersonRole("OWNER");
    w->setReferringPhysicianName("");
    w->setStudyInstanceUID("1.2.826.0.1.3680043.10.1138.42");
    w->setInstitutionName("Tierklinik Nord");
    w->setManufacturer("Malvorant Windows");
    w->setManufacturerModelName("Yarlo Malvorant 8.0.2 build: 078");
    w->setPatientSpeciesDescription("Canine");
    w->setPatientBreedDescription("Beagle");
    w->setPatientWeight("12.5");
    w->setContentDate("20240315");
    w->setContentTime("101500");
    w->setAcquisitionDateTime("20240315101500");
    w->setSOPClassUID(UID_GeneralECGWaveformStorage);
    w->setModality("ECG");

    const Uint32 samples = 5000;
    WvfMplxGroup* group = new WvfMplxGroup();
    w->addMultiplexGroup(group, 0);
    for (Uint32 c = 0; c < 6; ++c) {
        WvfChannel* ch = new WvfChannel();
        ch->createSamples(samples, SS);
        for (Uint32 i = 0; i < samples; ++i)
            ch->getSamples()->setSample(i, leadSample(c, i));
        group->addChannel(ch, -1);
    }
    group->setMultiplexGroupTimeOffset(0.0);
    group->setWaveformOriginality("ORIGINAL");
    group->setSamplingFrequency(500);
    group->setWaveformSampleInterpretation(SS);
    CodeSequenceMacro units = code("uV", "UCUM", "microvolt");
    units.setCodingSchemeVersion("1.4");
    for (Uint32 c = 1; c <= group->getNumberOfChannels(); ++c) {
        WvfChannel* ch = group->getChannel(c);
        ch->setChannelSourceSequence(code(kLeadCodes[c - 1][0], "MDC", kLeadCodes[c - 1][1]));
        ch->setChannelSensitivityUnitsSequence(units);
        ch->setChannelSensitivity(1.0);
        ch->setChannelBaseline(0.0);
        ch->setChannelSensitivityCorrectionFactor(1.0);
    }
    WvfAnnotationModule* annotations = w->getAnnotationModule();
    annotations->addAnnotationItem(textAnnotation("R", 380));
    annotations->addAnnotationItem(textAnnotation("R", 790));
    annotations->addAnnotationItem(textAnnotation("USER_MARK_1", 2400));
    annotations->addAnnotationItem(textAnnotation("LOWBAT", 4999));
    return w;
}

QJsonObject readWithPydicom(const QString& file, const QString& bin, QByteArray* samples, QString* error)
{
    const ToolResult r = runTool(python(), QStringList() << script("wvf_pydicom_read.py") << file << bin);
    if (!r.started || r.exitCode != 0) {
        *error = r.started ? QString::fromUtf8(r.err) : "python3 not found";
        return QJsonObject();
    }
    QFile f(bin);
    if (f.open(QIODevice::ReadOnly))
        *samples = f.readAll();
    return QJsonDocument::fromJson(r.out).object();
}

} // namespace

class TstWvfWaveform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void groupPositions();
    void constructionDefaults();
    void checkInventsType1Values();
    void readRefusesIncompleteDatasets();
    void writeWithoutGroups();
    void writeReportsFailedGroup();
    void annotationItems();
    void exportPassesIndependentTools();
    void pydicomObjectsReadAndWrittenAgain();

private:
    QTemporaryDir m_dir;
};

void TstWvfWaveform::initTestCase()
{
    QVERIFY2(dcmDataDict.isDictionaryLoaded(), "DCMTK data dictionary not loaded");
    QVERIFY(m_dir.isValid());
}

void TstWvfWaveform::groupPositions()
{
    WvfWaveform w;
    WvfMplxGroup* a = new WvfMplxGroup();
    WvfMplxGroup* b = new WvfMplxGroup();
    QVERIFY(w.getMultiplexGroup(0) == nullptr);
    QVERIFY(w.addMultiplexGroup(a, 0).good());
    QVERIFY(w.addMultiplexGroup(b, 0).good());
    WvfMplxGroup* c = new WvfMplxGroup();
    const OFCondition refused = w.addMultiplexGroup(c, 3);
    QVERIFY(isWvfError(refused));
    QCOMPARE(QString(refused.text()), QString("Index out of bounds"));
    QVERIFY(w.addMultiplexGroup(c, 2).good()); // A, new, B
    QCOMPARE(w.getMultiplexGroup(0), a);
    QCOMPARE(w.getMultiplexGroup(1), a);
    QCOMPARE(w.getMultiplexGroup(2), c);
    QCOMPARE(w.getMultiplexGroup(3), b);
    QVERIFY(w.getMultiplexGroup(4) == nullptr);
    WvfMplxGroup* d = new WvfMplxGroup();
    QVERIFY(w.addMultiplexGroup(d, 1).good()); // new, A, new, B
    QCOMPARE(w.getMultiplexGroup(1), d);
    QCOMPARE(w.addMultiplexGroup(nullptr, 0), EC_IllegalCall);
}

void TstWvfWaveform::constructionDefaults()
{
    WvfWaveform first, second;
    DcmDataset d1, d2;
    // without check: the defaults as constructed
    first.write(&d1, false, false);
    second.write(&d2, false, false);
    OFString uid1, uid2, value;
    d1.findAndGetOFString(DCM_SOPInstanceUID, uid1);
    d2.findAndGetOFString(DCM_SOPInstanceUID, uid2);
    QVERIFY(!uid1.empty());
    QVERIFY(uid1 != uid2);
    QVERIFY(QString(uid1.c_str()).startsWith(SITE_INSTANCE_UID_ROOT "."));
    d1.findAndGetOFString(DCM_SeriesInstanceUID, uid1);
    d2.findAndGetOFString(DCM_SeriesInstanceUID, uid2);
    QVERIFY(uid1 != uid2);
    QVERIFY(QString(uid1.c_str()).startsWith(SITE_SERIES_UID_ROOT "."));
    d1.findAndGetOFString(DCM_Modality, value);
    QCOMPARE(QString(value.c_str()), QString("UNKNOWN"));
    d1.findAndGetOFString(DCM_SeriesNumber, value);
    QCOMPARE(QString(value.c_str()), QString("1"));
    d1.findAndGetOFString(DCM_InstanceCreatorUID, value);
    QCOMPARE(QString(value.c_str()), QString(OFFIS_INSTANCE_CREATOR_UID));
    QVERIFY(d1.tagExists(DCM_InstanceCreationDate));
    QVERIFY(d1.tagExists(DCM_SOPClassUID)); // empty unless given
    QVERIFY(!d1.tagExists(DCM_SpecificCharacterSet));
    QVERIFY(d1.tagExists(DCM_AcquisitionContextSequence));
    // type 2 attributes are there, empty
    for (const DcmTagKey& key : {DCM_StudyID, DCM_AccessionNumber, DCM_Manufacturer, DCM_ReferringPhysicianName,
                                 DCM_StudyDate, DCM_StudyTime, DCM_PatientName, DCM_PatientID,
                                 DCM_PatientBirthDate, DCM_PatientSex}) {
        DcmElement* e = nullptr;
        QVERIFY2(d1.findAndGetElement(key, e).good(), DcmTag(key).getTagName());
        QCOMPARE(e->getLength(), Uint32(0));
    }
    // type 1C attributes only with a value
    QVERIFY(!d1.tagExists(DCM_PatientSpeciesDescription));
    QVERIFY(!d1.tagExists(DCM_ResponsiblePersonRole));
    OFString sop;
    QVERIFY(first.getSOPClassUID(sop));
    QVERIFY(sop.empty());
}

void TstWvfWaveform::checkInventsType1Values()
{
    WvfWaveform w;
    QVERIFY(!w.check(false)); // no instance number, content date...
    DcmDataset refused;
    QCOMPARE(w.write(&refused, true, false), EC_IllegalCall);
    QCOMPARE(refused.card(), 0ul);
    QVERIFY(w.check(true));
    DcmDataset ds;
    QVERIFY(w.write(&ds, true, true).good());
    OFString value;
    ds.findAndGetOFString(DCM_InstanceNumber, value);
    QCOMPARE(QString(value.c_str()), QString("1"));
    ds.findAndGetOFString(DCM_ContentDate, value);
    QCOMPARE(value.length(), size_t(8));
    ds.findAndGetOFString(DCM_AcquisitionDateTime, value);
    QCOMPARE(value.length(), size_t(14));
    ds.findAndGetOFString(DCM_StudyInstanceUID, value);
    QVERIFY(QString(value.c_str()).startsWith(SITE_STUDY_UID_ROOT "."));
    // a given recording time is kept
    WvfWaveform timed;
    timed.setContentDate("20200102");
    timed.setContentTime("030405");
    timed.setAcquisitionDateTime("20200102030405");
    DcmDataset ts;
    QVERIFY(timed.write(&ts, true, true).good());
    ts.findAndGetOFString(DCM_ContentTime, value);
    QCOMPARE(QString(value.c_str()), QString("030405"));
    ts.findAndGetOFString(DCM_AcquisitionDateTime, value);
    QCOMPARE(QString(value.c_str()), QString("20200102030405"));
}

void TstWvfWaveform::readRefusesIncompleteDatasets()
{
    WvfWaveform w;
    QCOMPARE(w.read(nullptr), EC_IllegalCall);
    DcmDataset noClass;
    noClass.putAndInsertString(DCM_PatientName, "Rex");
    const OFCondition c1 = w.read(&noClass);
    QCOMPARE(QString(c1.text()), QString("Dataset does not contain SOP Class information"));
    DcmDataset out;
    w.write(&out, false, false);
    DcmElement* name = nullptr;
    out.findAndGetElement(DCM_PatientName, name);
    QCOMPARE(name->getLength(), Uint32(0)); // modules untouched

    DcmDataset noSequence;
    noSequence.putAndInsertString(DCM_SOPClassUID, UID_GeneralECGWaveformStorage);
    noSequence.putAndInsertString(DCM_PatientName, "Rex");
    WvfWaveform w2;
    const OFCondition c2 = w2.read(&noSequence);
    QCOMPARE(QString(c2.text()), QString("WvfWaveform: No Waveform Sequence found"));
    DcmDataset out2;
    w2.write(&out2, false, false);
    OFString value;
    out2.findAndGetOFString(DCM_PatientName, value);
    QCOMPARE(QString(value.c_str()), QString("Rex"));

    noSequence.insertEmptyElement(DCM_WaveformSequence);
    WvfWaveform w3;
    QCOMPARE(QString(w3.read(&noSequence).text()), QString("No Multiplex Groups found in DICOM file"));
}

void TstWvfWaveform::writeWithoutGroups()
{
    WvfWaveform w;
    w.setSOPClassUID(UID_GeneralECGWaveformStorage);
    DcmDataset ds;
    QVERIFY(w.write(&ds, true, true).good());
    DcmSequenceOfItems* seq = nullptr;
    QVERIFY(ds.findAndGetSequence(DCM_WaveformSequence, seq).good());
    QCOMPARE(seq->card(), 0ul);
    QCOMPARE(w.write(nullptr, true, true), EC_IllegalParameter);
}

void TstWvfWaveform::writeReportsFailedGroup()
{
    WvfWaveform w;
    w.setSOPClassUID(UID_GeneralECGWaveformStorage);
    w.addMultiplexGroup(buildGroup(SS, 3, 100), 0);
    WvfMplxGroup* broken = buildGroup(SS, 3, 100);
    broken->getChannel(2)->createSamples(50, SS); // channels differ in length
    w.addMultiplexGroup(broken, 0);
    DcmDataset ds;
    const OFCondition cond = w.write(&ds, true, true);
    QVERIFY(cond.bad());
    QVERIFY(isWvfError(cond));
    // the intact group is still written, the broken one holds no data
    DcmItem* item = nullptr;
    QVERIFY(ds.findAndGetSequenceItem(DCM_WaveformSequence, item, 0).good());
    QVERIFY(item->tagExists(DCM_WaveformData));
    QVERIFY(ds.findAndGetSequenceItem(DCM_WaveformSequence, item, 1).good());
    QVERIFY(!item->tagExists(DCM_WaveformData));
}

void TstWvfWaveform::annotationItems()
{
    WvfAnnotationModule module;
    QVERIFY(module.getAnnotationItem(0) == nullptr);
    QCOMPARE(module.addAnnotationItem(nullptr), EC_IllegalCall);
    QCOMPARE(module.getNumberOfAnnotationItems(), Uint32(0));
    DcmItem none;
    QVERIFY(module.write(&none).good());
    QVERIFY(!none.tagExists(DCM_WaveformAnnotationSequence));
    QVERIFY(isWvfError(module.read(&none)));

    WvfAnnotationItem* item = new WvfAnnotationItem();
    module.addAnnotationItem(item);
    QVERIFY(!module.check(false)); // no channels (type 1)
    item->setReferencedWaveformChannels({1, 1, 2});
    QVERIFY(!module.check(false)); // odd count against 2-2n
    item->setReferencedWaveformChannels({1, 1});
    QVERIFY(!module.check(false)); // neither a text nor a concept name
    item->setUnformattedTextValue("R");
    QVERIFY(module.check(false));
    item->setNumericValues({1.0, 2.0});
    QVERIFY(module.check(false)); // VM 1-n: a device-information event holds its values
    item->setNumericValues({92.0});
    item->setReferencedSamplePositions({});
    QVERIFY(!module.check(false)); // present but empty
    item->setReferencedSamplePositions({10, 20});
    QVERIFY(module.check(false));
    OFList<Uint32> positions;
    positions.push_back(5);
    QVERIFY(item->getReferencedSamplePositions(positions));
    QCOMPARE(positions.size(), size_t(3)); // appended after the 5
    QCOMPARE(*(++positions.begin()), Uint32(10));
    QCOMPARE(module.getAnnotationItem(1), static_cast<WvfAnnotationItem*>(nullptr));

    // a coded measurement of another system: concept name, value, units;
    // a text as well, which the concept name excludes
    DcmItem dataset;
    DcmItem* entry = nullptr;
    dataset.findOrCreateSequenceItem(DCM_WaveformAnnotationSequence, entry, 0);
    entry->putAndInsertString(DCM_UnformattedTextValue, "QRS");
    DcmItem* name = nullptr;
    entry->findOrCreateSequenceItem(DCM_ConceptNameCodeSequence, name, 1);
    entry->findAndGetSequenceItem(DCM_ConceptNameCodeSequence, name, 0);
    name->putAndInsertString(DCM_CodeValue, "8633-2");
    name->putAndInsertString(DCM_CodingSchemeDesignator, "LN");
    name->putAndInsertString(DCM_CodeMeaning, "QRS duration");
    entry->putAndInsertString(DCM_NumericValue, "92");
    entry->putAndInsertUint16Array(DCM_ReferencedWaveformChannels, std::array<Uint16, 2>{1, 0}.data(), 2);
    entry->putAndInsertString(DCM_TemporalRangeType, "SEGMENT");
    entry->putAndInsertUint32(DCM_ReferencedSamplePositions, 10);
    entry->putAndInsertString(DCM_ReferencedTimeOffsets, "0.02");
    dataset.findOrCreateSequenceItem(DCM_WaveformAnnotationSequence, entry, 1);
    entry->putAndInsertString(DCM_TemporalRangeType, "SOMETIME");
    entry->putAndInsertUint16Array(DCM_ReferencedWaveformChannels, std::array<Uint16, 2>{1, 1}.data(), 2);
    entry->putAndInsertString(DCM_UnformattedTextValue, "P"); // every item says what it marks
    WvfAnnotationModule read;
    QVERIFY(read.read(&dataset).good());
    QCOMPARE(read.getNumberOfAnnotationItems(), Uint32(2));
    WvfAnnotationItem* measured = read.getAnnotationItem(0);
    OFString text;
    QVERIFY(!measured->getUnformattedTextValue(text)); // unset, but still filled in
    QCOMPARE(QString(text.c_str()), QString("QRS"));
    OFList<double> values;
    QVERIFY(measured->getNumericValues(values)); // read beside a concept name
    QCOMPARE(values.front(), 92.0);
    QVERIFY(read.check(false));
    DcmItem written;
    QVERIFY(read.write(&written).good());
    written.findAndGetSequenceItem(DCM_WaveformAnnotationSequence, entry, 0);
    QVERIFY(!entry->tagExists(DCM_UnformattedTextValue));
    QVERIFY(!entry->tagExists(DCM_ReferencedTimeOffsets)); // positions win in a range
    QVERIFY(entry->tagExists(DCM_NumericValue));
    DcmSequenceOfItems* names = nullptr;
    entry->findAndGetSequence(DCM_ConceptNameCodeSequence, names);
    QCOMPARE(names->card(), 1ul); // only the first item is kept
    written.findAndGetSequenceItem(DCM_WaveformAnnotationSequence, entry, 1);
    QVERIFY(!entry->tagExists(DCM_TemporalRangeType)); // unknown text not written
    // setting a text drops the concept name
    measured->setUnformattedTextValue("QRS 92 ms");
    DcmItem again;
    read.write(&again);
    again.findAndGetSequenceItem(DCM_WaveformAnnotationSequence, entry, 0);
    QVERIFY(!entry->tagExists(DCM_ConceptNameCodeSequence));
}

void TstWvfWaveform::exportPassesIndependentTools()
{
    QScopedPointer<WvfWaveform> w(buildExport());
    DcmFileFormat file;
    OFCondition cond = w->write(file.getDataset(), true, true);
    QVERIFY2(cond.good(), cond.text());
    const QString path = m_dir.filePath("export.dce");
    cond = file.saveFile(path.toLocal8Bit().constData(), EXS_LittleEndianExplicit);
    QVERIFY2(cond.good(), cond.text());

    // dciodvfy: no error; warnings only those the IOD makes unavoidable
    const ToolResult v = runTool("dciodvfy", QStringList() << "-new" << path);
    QVERIFY2(v.started, "dciodvfy not found");
    const QStringList lines = QString::fromUtf8(v.out + v.err).split('\n', Qt::SkipEmptyParts);
    QStringList errors, warnings;
    for (const QString& line : lines) {
        if (line.startsWith("Error"))
            errors << line;
        else if (line.startsWith("Warning"))
            warnings << line;
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    // Warnings the General ECG IOD makes unavoidable:
    const QStringList allowed = {
        // Study ID is type 2 and the export has no value for it: empty is
        // what the IOD asks for; only a DICOMDIR would want a value.
        "</StudyID(0020,0010)> - Missing attribute or value that would be needed to build DICOMDIR",
    };
    qInfo("dciodvfy: %s", qPrintable(warnings.join('\n')));
    for (const QString& warning : warnings) {
        bool ok = false;
        for (const QString& a : allowed)
            ok = ok || warning.contains(a);
        QVERIFY2(ok, qPrintable("dciodvfy: " + warning));
    }

    // dcmdump and dcmftest accept the file
    const ToolResult dump = runTool("dcmdump", QStringList() << path);
    QVERIFY2(dump.started, "dcmdump not found");
    QVERIFY2(dump.exitCode == 0, dump.err.constData());
    const ToolResult ftest = runTool("dcmftest", QStringList() << path);
    QVERIFY2(ftest.started, "dcmftest not found");
    QCOMPARE(ftest.exitCode, 0);
    QVERIFY2(ftest.out.startsWith("yes:"), ftest.out.constData());

    // pydicom reads every module and the samples
    QByteArray raw;
    QString error;
    const QJsonObject o = readWithPydicom(path, m_dir.filePath("export.bin"), &raw, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(o["SOPClassUID"].toString(), QString(UID_GeneralECGWaveformStorage));
    QCOMPARE(o["meta_sop_class"].toString(), QString(UID_GeneralECGWaveformStorage));
    QCOMPARE(o["SpecificCharacterSet"].toString(), QString("ISO_IR 192"));
    QCOMPARE(o["InstanceCreatorUID"].toString(), QString(OFFIS_INSTANCE_CREATOR_UID));
    QCOMPARE(o["InstitutionName"].toString(), QString("Tierklinik Nord"));
    QCOMPARE(o["PatientName"].toString(), QString("Müller^Bello"));
    QCOMPARE(o["ResponsiblePerson"].toString(), QString("Müller^Jürgen"));
    QCOMPARE(o["ResponsiblePersonRole"].toString(), QString("OWNER"));
    QCOMPARE(o["PatientID"].toString(), QString("P-4711"));
    QCOMPARE(o["PatientBirthDate"].toString(), QString("20190305"));
    QCOMPARE(o["PatientSex"].toString(), QString("M"));
    QCOMPARE(o["PatientSexNeutered"].toString(), QString("ALTERED"));
    QCOMPARE(o["PatientSpeciesDescription"].toString(), QString("Canine"));
    QCOMPARE(o["PatientBreedDescription"].toString(), QString("Beagle"));
    QCOMPARE(o["PatientWeight"].toString(), QString("12.5"));
    QCOMPARE(o["StudyInstanceUID"].toString(), QString("1.2.826.0.1.3680043.10.1138.42"));
    QCOMPARE(o["StudyDate"].toString(), QString("20240315"));
    QCOMPARE(o["StudyTime"].toString(), QString("101500.0000"));
    QCOMPARE(o["StudyID"].toString(), QString(""));
    QCOMPARE(o["AccessionNumber"].toString(), QString(""));
    QCOMPARE(o["ReferringPhysicianName"].toString(), QString(""));
    QCOMPARE(o["Modality"].toString(), QString("ECG"));
    QCOMPARE(o["SeriesNumber"].toString(), QString("1"));
    QVERIFY(o["SeriesInstanceUID"].toString().startsWith(SITE_SERIES_UID_ROOT "."));
    QCOMPARE(o["Manufacturer"].toString(), QString("Malvorant Windows"));
    QCOMPARE(o["ManufacturerModelName"].toString(), QString("Yarlo Malvorant 8.0.2 build: 078"));
    QCOMPARE(o["InstanceNumber"].toString(), QString("1"));
    QCOMPARE(o["ContentDate"].toString(), QString("20240315"));
    QCOMPARE(o["ContentTime"].toString(), QString("101500"));
    QCOMPARE(o["AcquisitionDateTime"].toString(), QString("20240315101500"));
    QCOMPARE(o["AcquisitionContextSequence"].toInt(), 0);

    const QJsonArray annotations = o["annotations"].toArray();
    QCOMPARE(annotations.size(), 4);
    const char* texts[] = {"R", "R", "USER_MARK_1", "LOWBAT"};
    const int positions[] = {380, 790, 2400, 4999};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject a = annotations[i].toObject();
        QCOMPARE(a["UnformattedTextValue"].toString(), QString(texts[i]));
        QCOMPARE(a["ReferencedSamplePositions"].toString(), QString::number(positions[i]));
        QCOMPARE(a["TemporalRangeType"].toString(), QString("POINT"));
        QCOMPARE(a["ReferencedWaveformChannels"].toArray().size(), 2);
    }

    const QJsonArray groups = o["groups"].toArray();
    QCOMPARE(groups.size(), 1);
    const QJsonObject g = groups[0].toObject();
    QCOMPARE(g["WaveformOriginality"].toString(), QString("ORIGINAL"));
    QCOMPARE(g["SamplingFrequency"].toString(), QString("500"));
    QCOMPARE(g["NumberOfWaveformChannels"].toString(), QString("6"));
    QCOMPARE(g["NumberOfWaveformSamples"].toString(), QString("5000"));
    QCOMPARE(g["WaveformBitsAllocated"].toString(), QString("16"));
    QCOMPARE(g["WaveformSampleInterpretation"].toString(), QString("SS"));
    QCOMPARE(g["WaveformDataVR"].toString(), QString("OW"));
    const QJsonArray channels = g["channels"].toArray();
    QCOMPARE(channels.size(), 6);
    for (int c = 0; c < 6; ++c) {
        const QJsonObject ch = channels[c].toObject();
        QCOMPARE(ch["source"].toObject()["CodeValue"].toString(), QString(kLeadCodes[c][0]));
        QCOMPARE(ch["source"].toObject()["CodeMeaning"].toString(), QString(kLeadCodes[c][1]));
        QCOMPARE(ch["units"].toObject()["CodeValue"].toString(), QString("uV"));
        QCOMPARE(ch["ChannelSensitivity"].toString(), QString("1"));
        QCOMPARE(ch["ChannelBaseline"].toString(), QString("0"));
        QCOMPARE(ch["ChannelTimeSkew"].toString(), QString("0"));
        QCOMPARE(ch["WaveformBitsStored"].toString(), QString("16"));
    }
    QCOMPARE(raw.size(), 6 * 5000 * 4);
    const qint32* values = reinterpret_cast<const qint32*>(raw.constData());
    for (Uint32 c = 0; c < 6; ++c)
        for (Uint32 i = 0; i < 5000; ++i)
            if (values[c * 5000 + i] != leadSample(c, i))
                QFAIL(qPrintable(QString("lead %1 sample %2").arg(c).arg(i)));
}

void TstWvfWaveform::pydicomObjectsReadAndWrittenAgain()
{
    const QString dir = m_dir.filePath("pydicom");
    QVERIFY(QDir().mkpath(dir));
    const ToolResult made = runTool(python(), QStringList() << script("wvf_pydicom_write.py") << dir);
    QVERIFY2(made.started, "python3 not found");
    QVERIFY2(made.exitCode == 0, made.err.constData());
    const QStringList files = QString::fromUtf8(made.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(files.size(), 2);
    for (const QString& original : files) {
        DcmFileFormat in;
        OFCondition cond = in.loadFile(original.toLocal8Bit().constData());
        QVERIFY2(cond.good(), cond.text());
        WvfWaveform w;
        cond = w.read(in.getDataset());
        QVERIFY2(cond.good(), cond.text());
        QVERIFY(w.check(false)); // complete as read: nothing to invent
        if (original.endsWith("two_groups.dcm")) {
            QCOMPARE(w.getAnnotationModule()->getNumberOfAnnotationItems(), Uint32(4));
            WvfMplxGroup* aux = w.getMultiplexGroup(2);
            QVERIFY(aux);
            WVF_SAMPLE_INTERPRETATION interp;
            aux->getWaveformSampleInterpretation(interp);
            QCOMPARE(int(interp), int(SB));
            QCOMPARE(aux->getChannel(1)->getNumberOfSamples(), Uint32(333));
            // a measurement with neither concept name nor coded value
            OFList<double> values;
            QVERIFY(w.getAnnotationModule()->getAnnotationItem(3)->getNumericValues(values));
            QCOMPARE(values.front(), 75.0);
        }
        DcmFileFormat out;
        cond = w.write(out.getDataset(), true, false);
        QVERIFY2(cond.good(), cond.text());
        const QString rewritten = original + ".again.dcm";
        cond = out.saveFile(rewritten.toLocal8Bit().constData(), EXS_LittleEndianExplicit);
        QVERIFY2(cond.good(), cond.text());
        const ToolResult cmp = runTool(python(), QStringList() << script("wvf_pydicom_compare.py") << original << rewritten);
        QVERIFY2(cmp.exitCode == 0, qPrintable(QFileInfo(original).fileName() + ":\n" + cmp.out + cmp.err));
    }
}

QTEST_GUILESS_MAIN(TstWvfWaveform)
#include "tst_wvfwaveform.moc"
