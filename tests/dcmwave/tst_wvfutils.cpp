// Attribute helpers, sample buffers and code macros of the waveform model.
#include <QtTest>

#include <sstream>

#include "commalocale.h"
#include "wvfmacro.h"
#include "wvfsamples.h"
#include "wvfutils.h"

class TstWvfUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void errorCondition();
    void enumerationTexts();
    void decimalStringsIgnoreLocale();
    void checkElementValue_data();
    void checkElementValue();
    void type1Invention();
    void writeChainStopsAtFirstFailure();
    void readersTakeFoundValues();
    void samplesBounds();
    void samplesSignedness();
    void samplesDataAndMultiplex();
    void samplesDump_data();
    void samplesDump();
    void codeMacroReadCheckWrite();
    void personMacroWritesInstitutionOnly();
};

void TstWvfUtils::initTestCase()
{
    QVERIFY2(dcmDataDict.isDictionaryLoaded(), "DCMTK data dictionary not loaded");
}

void TstWvfUtils::errorCondition()
{
    const OFCondition c = EC_WvfError("Index out of bounds");
    QVERIFY(c.bad());
    QCOMPARE(c.module(), Uint16(20));
    QCOMPARE(c.code(), Uint16(22));
    QCOMPARE(c.status(), OF_error);
    QCOMPARE(QString(c.text()), QString("Index out of bounds"));
    // the condition owns its copy of the text
    OFCondition copy;
    {
        OFString text("temporary text");
        copy = EC_WvfError(text);
    }
    QCOMPARE(QString(copy.text()), QString("temporary text"));
    QVERIFY(isWvfError(copy));
    QVERIFY(!isWvfError(EC_IllegalCall));
}

void TstWvfUtils::enumerationTexts()
{
    const char* texts[] = {"SB", "UB", "MB", "AB", "SS", "US"};
    for (int i = 0; i < 6; ++i) {
        const WVF_SAMPLE_INTERPRETATION e = WVF_SAMPLE_INTERPRETATION(i);
        QCOMPARE(QString(WvfUtils::sampleInterpretationToString(e).c_str()), QString(texts[i]));
        QCOMPARE(int(WvfUtils::stringToSampleInterpretation(texts[i])), i);
    }
    QCOMPARE(int(WvfUtils::stringToSampleInterpretation("ss")), 6);
    QVERIFY(WvfUtils::sampleInterpretationToString(WVF_SAMPLE_INTERPRETATION(6)).empty());
    QCOMPARE(int(WvfUtils::stringToTemporalRangeType("MULTISEGMENT")), 3);
    QCOMPARE(int(WvfUtils::stringToTemporalRangeType("point")), 6);
    QVERIFY(WvfUtils::temporalRangeTypeToString(WVF_TEMPORAL_RANGE_TYPE(6)).empty());
    QCOMPARE(QString(WvfUtils::temporalRangeTypeToString(END).c_str()), QString("END"));
}

void TstWvfUtils::decimalStringsIgnoreLocale()
{
    // A comma locale must not leak into DICOM decimal strings, either way.
    CommaLocale comma;
    QVERIFY2(comma.isActive(), qPrintable(comma.error()));
    QCOMPARE(QString(WvfUtils::doubleToDS(500.0).c_str()), QString("500"));
    QCOMPARE(QString(WvfUtils::doubleToDS(0.00125).c_str()), QString("0.00125"));
    QCOMPARE(QString(WvfUtils::doubleToDS(1234567.0).c_str()), QString("1.23457e+06"));
    OFList<double> values;
    values.push_back(1.5);
    values.push_back(2.0);
    QCOMPARE(QString(WvfUtils::doubleListToDS(values).c_str()), QString("1.5\\2"));
    QVERIFY(WvfUtils::doubleListToDS(OFList<double>()).empty());
    DcmDecimalString ds(DCM_ChannelSensitivity);
    QVERIFY(WvfUtils::putDecimal(ds, 0.25).good());
    QCOMPARE(QString(WvfUtils::getStringValue(ds).c_str()), QString("0.25"));
    QCOMPARE(WvfUtils::getFloat64Value(ds), 0.25);
}

void TstWvfUtils::checkElementValue_data()
{
    QTest::addColumn<QString>("value"); // "-" = absent
    QTest::addColumn<QString>("vm");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("ok");
    QTest::newRow("1-n any count") << "1\\2\\3" << "1-n" << "1" << true;
    QTest::newRow("vm 3 never checked") << "1\\2" << "3" << "1" << true;
    QTest::newRow("vm 1 with two values") << "1\\2" << "1" << "3" << false;
    QTest::newRow("vm 2 with two values") << "1\\2" << "2" << "1" << true;
    QTest::newRow("vm 2 with one value") << "1" << "2" << "1" << false;
    QTest::newRow("2-2n odd") << "1\\2\\3" << "2-2n" << "1" << false;
    QTest::newRow("2-2n even") << "1\\2\\3\\4" << "2-2n" << "1" << true;
    QTest::newRow("type 2 empty") << "" << "1" << "2" << true;
    QTest::newRow("type 2 absent") << "-" << "1" << "2" << false;
    QTest::newRow("type 1 absent") << "-" << "1" << "1" << false;
    QTest::newRow("type 1 empty") << "" << "1" << "1" << false;
    QTest::newRow("type 1C absent") << "-" << "1" << "1C" << true;
    QTest::newRow("type 1C empty") << "" << "1" << "1C" << false;
    QTest::newRow("type 3 empty") << "" << "1" << "3" << true;
}

void TstWvfUtils::checkElementValue()
{
    QFETCH(QString, value);
    QFETCH(QString, vm);
    QFETCH(QString, type);
    QFETCH(bool, ok);
    DcmIntegerString element(DCM_WaveformChannelNumber);
    const bool present = value != "-";
    if (present)
        element.putOFStringArray(value.toStdString().c_str());
    QCOMPARE(WvfUtils::checkElementValue(element, vm.toStdString().c_str(), type.toStdString().c_str(), present), ok);

    // a sequence counts its items
    DcmSequenceOfItems seq(DCM_ChannelSourceSequence);
    QCOMPARE(WvfUtils::checkElementValue(seq, "1", "1", true), false);
    seq.append(new DcmItem());
    QCOMPARE(WvfUtils::checkElementValue(seq, "1", "1", true), true);
    seq.append(new DcmItem());
    QCOMPARE(WvfUtils::checkElementValue(seq, "1", "1", true), false);
}

void TstWvfUtils::type1Invention()
{
    DcmCodeString element(DCM_WaveformOriginality);
    bool set = true; // flag set but the element empty: does not pass
    QCOMPARE(WvfUtils::checkAndInventType1Attrib(element, false, "DERIVED", set), EC_IllegalParameter);
    QVERIFY(!set);
    QCOMPARE(WvfUtils::checkAndInventType1Attrib(element, true, "", set), EC_IllegalParameter);
    QVERIFY(!set);
    QVERIFY(WvfUtils::checkAndInventType1Attrib(element, true, "DERIVED", set).good());
    QVERIFY(set);
    QCOMPARE(QString(WvfUtils::getStringValue(element).c_str()), QString("DERIVED"));
    // a set value stays
    QVERIFY(WvfUtils::checkAndInventType1Attrib(element, true, "ORIGINAL", set).good());
    QCOMPARE(QString(WvfUtils::getStringValue(element).c_str()), QString("DERIVED"));
    // a value DCMTK refuses is not invented
    DcmUnsignedShort number(DCM_WaveformBitsStored);
    bool numberSet = false;
    QVERIFY(WvfUtils::checkAndInventType1Attrib(number, true, "not a number", numberSet).bad());
    QVERIFY(!numberSet);
}

void TstWvfUtils::writeChainStopsAtFirstFailure()
{
    DcmItem item;
    OFCondition result = EC_Normal;
    QVERIFY(WvfUtils::addElementToDataset(result, item, nullptr) == EC_MemoryExhausted);
    QVERIFY(result == EC_MemoryExhausted);
    DcmLongString* name = new DcmLongString(DCM_InstitutionName);
    name->putString("Clinic");
    QVERIFY(WvfUtils::addElementToDataset(result, item, name) == EC_MemoryExhausted);
    QCOMPARE(item.card(), 0ul);

    OFCondition good = EC_Normal;
    DcmLongString value(DCM_InstitutionName);
    value.putString("Clinic");
    QVERIFY(WvfUtils::addIfSet(good, item, value, true).good());
    QVERIFY(WvfUtils::addIfSet(good, item, value, true).good()); // replaces
    QVERIFY(WvfUtils::addIfSet(good, item, DcmShortString(DCM_StationName), false).good());
    QCOMPARE(item.card(), 1ul);
}

void TstWvfUtils::readersTakeFoundValues()
{
    DcmItem item;
    item.putAndInsertString(DCM_ChannelLabel, "II");
    item.putAndInsertString(DCM_ChannelSensitivity, "0.5");
    item.putAndInsertString(DCM_PatientName, "Rex\\Second");
    item.putAndInsertUint16(DCM_WaveformBitsStored, 16);
    // nested values are not searched
    DcmItem* nested = nullptr;
    item.findOrCreateSequenceItem(DCM_ChannelSourceSequence, nested, 0);
    nested->putAndInsertString(DCM_CodeValue, "nested");

    DcmShortString label(DCM_ChannelLabel);
    label.putString("old value that is longer");
    bool present = false;
    QVERIFY(WvfUtils::getAndCheckElementFromDataset(item, label, present, "1", "3").good());
    QVERIFY(present);
    QCOMPARE(QString(WvfUtils::getStringValue(label).c_str()), QString("II"));

    // an odd-length text made in memory comes over without a fill byte
    item.putAndInsertString(DCM_AcquisitionTimeSynchronized, "Y");
    DcmCodeString synchronized(DCM_AcquisitionTimeSynchronized);
    QVERIFY(WvfUtils::getAndCheckElementFromDataset(item, synchronized, present, "1", "1").good());
    OFString exact;
    synchronized.getOFStringArray(exact, OFFalse);
    QCOMPARE(exact.length(), size_t(1));

    DcmDecimalString sensitivity(DCM_ChannelSensitivity);
    QVERIFY(WvfUtils::getAndCheckElementFromDataset(item, sensitivity, present, "1", "1C").good());
    QCOMPARE(WvfUtils::getFloat64Value(sensitivity), 0.5);

    DcmUnsignedShort bits(DCM_WaveformBitsStored);
    QVERIFY(WvfUtils::getAndCheckElementFromDataset(item, bits, present, "1", "1").good());
    QCOMPARE(WvfUtils::getUint16Value(bits, 0), Uint16(16));
    QCOMPARE(WvfUtils::getUint16Value(bits, 3), Uint16(0));

    DcmShortString codeValue(DCM_CodeValue);
    QCOMPARE(WvfUtils::getAndCheckElementFromDataset(item, codeValue, present, "1", "1"), EC_IllegalParameter);
    QVERIFY(!present);
    // absent type 3: good, flag false
    DcmLongString derivation(DCM_ChannelDerivationDescription);
    QVERIFY(WvfUtils::getAndCheckElementFromDataset(item, derivation, present, "1", "3").good());
    QVERIFY(!present);

    OFString text;
    QVERIFY(WvfUtils::getAndCheckStringValueFromDataset(item, DCM_PatientName, text, "1-n", "2").good());
    QCOMPARE(QString(text.c_str()), QString("Rex"));
    text = "left over";
    QVERIFY(WvfUtils::getAndCheckStringValueFromDataset(item, DCM_PatientID, text, "1", "2").bad());
    QVERIFY(text.empty());
    text = "left over";
    QCOMPARE(WvfUtils::getAndCheckStringValueFromDataset(item, DCM_PatientName, text, "1", "1"), EC_CorruptedData);
    QVERIFY(text.empty());

    // a sequence where a single value belongs is not taken
    DcmShortString wrong(DCM_ChannelSourceSequence);
    QVERIFY(WvfUtils::getElementFromDataset(item, wrong).good());
    QCOMPARE(wrong.getLength(), Uint32(0));

    QCOMPARE(WvfUtils::getCurrentDate().length(), size_t(8));
    QCOMPARE(WvfUtils::getCurrentTime().length(), size_t(6));
    QCOMPARE(WvfUtils::getCurrentDateTime().length(), size_t(14));
}

void TstWvfUtils::samplesBounds()
{
    Wvf16Samples s16;
    Wvf8Samples s8;
    double v = 0;
    QCOMPARE(s16.getSample(0, v), EC_IllegalCall);
    Uint32 bytes = 0;
    Uint8* data = nullptr;
    QCOMPARE(s16.getData(bytes, data), EC_IllegalCall);
    QVERIFY(s16.allocateMemory(10, true).good());
    QVERIFY(s8.allocateMemory(3, false).good());
    QCOMPARE(s16.getSample(10, v), EC_IllegalCall);
    QCOMPARE(s16.setSample(10, Sint16(1)), EC_IllegalCall);
    QCOMPARE(s8.setSample(3, Uint8(1)), EC_IllegalCall);
    QCOMPARE(s8.setSample(0, Sint16(1)), EC_IllegalCall);
    QVERIFY(s16.getData(bytes, data).good());
    QCOMPARE(bytes, Uint32(20));
    QCOMPARE(s16.getBitsPerSample(), Uint16(16));
    QCOMPARE(s8.getBitsPerSample(), Uint16(8));
    // a Uint8 on a 16-bit buffer is widened
    QVERIFY(s16.setSample(2, Uint8(200)).good());
    QVERIFY(s16.getSample(2, v).good());
    QCOMPARE(v, 200.0);
}

void TstWvfUtils::samplesSignedness()
{
    Wvf16Samples s;
    s.allocateMemory(1, true);
    s.setSample(0, Sint16(-1));
    double v = 0;
    s.getSample(0, v);
    QCOMPARE(v, -1.0);
    s.setSigned(false);
    s.getSample(0, v);
    QCOMPARE(v, 65535.0);
    Wvf8Samples b;
    b.allocateMemory(1, false);
    b.setSample(0, Uint8(200));
    b.getSample(0, v);
    QCOMPARE(v, 200.0);
    b.setSigned(true);
    b.getSample(0, v);
    QCOMPARE(v, -56.0);
    b.freeMemory();
    QCOMPARE(b.getNumberOfSamples(), Uint32(0));
}

void TstWvfUtils::samplesDataAndMultiplex()
{
    Wvf16Samples s;
    s.allocateMemory(3, true);
    for (Uint32 i = 0; i < 3; ++i)
        s.setSample(i, Sint16(100 + i));
    // setData with a null buffer keeps the old samples
    QCOMPARE(s.setData(5, nullptr), EC_IllegalCall);
    QCOMPARE(s.getNumberOfSamples(), Uint32(3));

    Uint16 dest[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(s.multiplex(nullptr, 2, 1), EC_IllegalCall);
    QVERIFY(s.multiplex(dest, 2, 1).good());
    QCOMPARE(dest[0], Uint16(0));
    QCOMPARE(dest[1], Uint16(100));
    QCOMPARE(dest[3], Uint16(101));
    QCOMPARE(dest[5], Uint16(102));

    Uint32 bytes = 0;
    void* copy = nullptr;
    QVERIFY(s.copyData(bytes, copy).good());
    QCOMPARE(bytes, Uint32(6));
    QCOMPARE(static_cast<Uint16*>(copy)[2], Uint16(102));
    delete[] static_cast<Uint8*>(copy);

    // adoption keeps the signed flag; the count is in samples
    Uint16* adopted = new Uint16[2];
    adopted[0] = 0xFFFF;
    adopted[1] = 7;
    QVERIFY(s.setData(2, adopted).good());
    QCOMPARE(s.getNumberOfSamples(), Uint32(2));
    double v = 0;
    s.getSample(0, v);
    QCOMPARE(v, -1.0);
}

void TstWvfUtils::samplesDump_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("interp");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("text"); // empty = refused
    QTest::addColumn<bool>("wvfError");
    QTest::newRow("SB raw") << 8 << int(SB) << 0 << 0xFF << "-1 " << false;
    QTest::newRow("SB calibrated") << 8 << int(SB) << 1 << 0xFF << "-1 " << false;
    QTest::newRow("UB raw") << 8 << int(UB) << 0 << 0xFF << "255 " << false;
    QTest::newRow("AB stored byte") << 8 << int(AB) << 0 << 0xD5 << "213 " << false;
    QTest::newRow("MB refused") << 8 << int(MB) << 0 << 0 << "" << true;
    QTest::newRow("SS on 8 bit refused") << 8 << int(SS) << 0 << 0 << "" << true;
    QTest::newRow("SB mode 2") << 8 << int(SB) << 2 << 0 << "" << false;
    QTest::newRow("AB mode 2") << 8 << int(AB) << 2 << 0 << "" << true;
    QTest::newRow("SS calibrated") << 16 << int(SS) << 1 << 0xFFFE << "-3 " << false;
    QTest::newRow("US raw") << 16 << int(US) << 0 << 0xFFFE << "65534 " << false;
    QTest::newRow("SS mode 2") << 16 << int(SS) << 2 << 0 << "" << true;
    QTest::newRow("US mode 2") << 16 << int(US) << 2 << 0 << "" << false;
}

void TstWvfUtils::samplesDump()
{
    QFETCH(int, bits);
    QFETCH(int, interp);
    QFETCH(int, mode);
    QFETCH(int, raw);
    QFETCH(QString, text);
    QFETCH(bool, wvfError);
    QScopedPointer<WvfSamples> s(bits == 8 ? static_cast<WvfSamples*>(new Wvf8Samples())
                                           : static_cast<WvfSamples*>(new Wvf16Samples()));
    std::ostringstream out;
    const WVF_SAMPLE_INTERPRETATION e = WVF_SAMPLE_INTERPRETATION(interp);
    QCOMPARE(s->dump(&out, e, 2.0, 1.0, mode), EC_IllegalCall); // no array yet
    s->allocateMemory(1, true);
    if (bits == 8)
        s->setSample(0, Uint8(raw));
    else
        s->setSample(0, Sint16(Uint16(raw)));
    QCOMPARE(s->dump(nullptr, e, 2.0, 1.0, mode), EC_IllegalCall);
    const OFCondition cond = s->dump(&out, e, 2.0, 1.0, mode);
    if (text.isEmpty()) {
        QVERIFY(cond.bad());
        QCOMPARE(isWvfError(cond), wvfError);
        if (!wvfError)
            QCOMPARE(cond, EC_IllegalParameter);
        QVERIFY(out.str().empty());
    } else {
        QVERIFY(cond.good());
        QCOMPARE(QString::fromStdString(out.str()), text);
    }
}

void TstWvfUtils::codeMacroReadCheckWrite()
{
    DcmItem item;
    item.putAndInsertString(DCM_CodeValue, "5.6.3-9-1");
    item.putAndInsertString(DCM_CodeMeaning, "Lead I");
    CodeSequenceMacro code;
    QCOMPARE(code.read(nullptr).bad(), true);
    QVERIFY(code.read(&item).good());
    QVERIFY(!code.check(true)); // no designator, never invented
    OFString v;
    QVERIFY(!code.getCodingSchemeDesignator(v));

    CodeSequenceMacro full;
    full.setCodeValue("uV");
    full.setCodingSchemeDesignator("UCUM");
    full.setCodeMeaning("microvolt");
    QVERIFY(full.check(false));
    CodeSequenceMacro copy;
    copy = full;
    QVERIFY(copy.check(false));
    copy.setCodingSchemeVersion(""); // flagged but empty version fails
    QVERIFY(!copy.check(false));
    copy.clear();
    QVERIFY(!copy.getCodeValue(v));

    DcmItem out;
    QVERIFY(full.write(&out).good());
    QCOMPARE(out.card(), 3ul);
    CodeSequenceMacro back;
    QVERIFY(back.read(&out).good());
    QVERIFY(back.check(false));
    QVERIFY(back.getCodeMeaning(v));
    QCOMPARE(QString(v.c_str()), QString("microvolt"));

    DcmItem untouched;
    QVERIFY(CodeSequenceMacro().write(&untouched).good());
    QCOMPARE(untouched.card(), 0ul);
    QCOMPARE(CodeSequenceMacro().write(nullptr), EC_IllegalCall);
}

void TstWvfUtils::personMacroWritesInstitutionOnly()
{
    PersonIdentificationMacro macro;
    DcmItem item;
    QVERIFY(macro.write(&item).good());
    QCOMPARE(item.card(), 0ul);
    QVERIFY(macro.setInstitutionName("Tierklinik Nord").good());
    QVERIFY(macro.write(&item).good());
    QCOMPARE(item.card(), 1ul);
    OFString name;
    QVERIFY(item.findAndGetOFString(DCM_InstitutionName, name).good());
    QCOMPARE(QString(name.c_str()), QString("Tierklinik Nord"));
    QCOMPARE(macro.write(nullptr), EC_IllegalCall);
}

QTEST_GUILESS_MAIN(TstWvfUtils)
#include "tst_wvfutils.moc"
