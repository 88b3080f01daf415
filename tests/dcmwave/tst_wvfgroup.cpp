// Channels and multiplex groups: building, interleaving into Waveform Data,
// saving with DCMTK, reading back, checks by pydicom and dcmdump, and
// refusal of damaged files.
#include <QtTest>

#include <cstring>

#include "wvftesthelpers.h"

using namespace wvftest;

class TstWvfGroup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void channelPositions();
    void channelBuffers();
    void channelReadRules();
    void channelSkewRule();
    void groupWriteLayout();
    void groupWriteEightBit();
    void bulkMatchesPerChannel_data();
    void bulkMatchesPerChannel();
    void groupCheck();
    void groupRefusesInconsistentChannels_data();
    void groupRefusesInconsistentChannels();
    void groupReadIgnoresPartialFrame();
    void groupReadOverridesChannelCount();
    void roundTripWithPydicom_data();
    void roundTripWithPydicom();
    void damagedFilesRefused();
    void dcmodifyDamageRefused_data();
    void dcmodifyDamageRefused();

private:
    QTemporaryDir m_dir;
};

void TstWvfGroup::initTestCase()
{
    QVERIFY2(dcmDataDict.isDictionaryLoaded(), "DCMTK data dictionary not loaded");
    QVERIFY(m_dir.isValid());
}

void TstWvfGroup::channelPositions()
{
    WvfMplxGroup group;
    WvfChannel* a = new WvfChannel();
    QVERIFY(isWvfError(group.addChannel(a, 0))); // empty group: only -1 appends
    QVERIFY(group.addChannel(a, -1).good());
    WvfChannel* b = new WvfChannel();
    QVERIFY(isWvfError(group.addChannel(b, 1)));  // position = count fails
    QVERIFY(group.addChannel(b, -1).good());
    WvfChannel* c = new WvfChannel();
    QVERIFY(group.addChannel(c, 0).good());       // before the first
    WvfChannel* d = new WvfChannel();
    QVERIFY(group.addChannel(d, -5).good());      // other negatives go to the front
    QCOMPARE(group.getNumberOfChannels(), Uint16(4));
    QCOMPARE(group.getChannel(0), d);
    QCOMPARE(group.getChannel(1), d);
    QCOMPARE(group.getChannel(2), c);
    QCOMPARE(group.getChannel(3), a);
    QCOMPARE(group.getChannel(4), b);
    QVERIFY(group.getChannel(5) == nullptr);
    WvfMplxGroup empty;
    QVERIFY(empty.getChannel(0) == nullptr);
    QVERIFY(empty.getChannel(1) == nullptr);

    // No channel is refused at once and leaves the group as it was (a null
    // entry would crash its check and write later).
    QVERIFY(group.addChannel(nullptr, -1) == EC_IllegalCall);
    QVERIFY(group.addChannel(nullptr, 0) == EC_IllegalCall);
    QCOMPARE(group.getNumberOfChannels(), Uint16(4));
    QVERIFY(empty.addChannel(nullptr, -1) == EC_IllegalCall);
    QCOMPARE(empty.getNumberOfChannels(), Uint16(0));
}

void TstWvfGroup::channelBuffers()
{
    WvfChannel ch;
    Uint16 bits = 0;
    QVERIFY(!ch.getWaveformBitsStored(bits));
    QVERIFY(isWvfError(ch.createSamples(10, WVF_SAMPLE_INTERPRETATION_UNKNOWN)));
    QVERIFY(ch.getSamples() == nullptr);
    QCOMPARE(ch.getNumberOfSamples(), Uint32(0));
    QVERIFY(ch.createSamples(10, SB).good());
    QCOMPARE(ch.getSamples()->getBitsPerSample(), Uint16(8));
    QVERIFY(ch.getSamples()->isSigned());
    QVERIFY(ch.getWaveformBitsStored(bits));
    QCOMPARE(bits, Uint16(8));
    QVERIFY(ch.createSamples(20, US).good());
    QCOMPARE(ch.getNumberOfSamples(), Uint32(20));
    QVERIFY(!ch.getSamples()->isSigned());
    QVERIFY(ch.getWaveformBitsStored(bits));
    QCOMPARE(bits, Uint16(16));
    QVERIFY(isWvfError(ch.createSamples(10, WVF_SAMPLE_INTERPRETATION(6))));
    QVERIFY(ch.getSamples() == nullptr);
}

void TstWvfGroup::channelReadRules()
{
    // a Channel Definition item with zero sensitivity and no source
    DcmItem item;
    item.putAndInsertString(DCM_ChannelSensitivity, "0");
    item.putAndInsertString(DCM_ChannelSensitivityCorrectionFactor, "0");
    item.putAndInsertString(DCM_ChannelLabel, "II");
    WvfChannel ch;
    QVERIFY(isWvfError(ch.read(nullptr)));
    QVERIFY(ch.read(&item).bad()); // no Waveform Bits Stored
    item.putAndInsertUint16(DCM_WaveformBitsStored, 16);
    QVERIFY(ch.read(&item).good());
    QVERIFY(!ch.check(true)); // no Channel Source Sequence
    DcmItem out;
    ch.createSamples(1, SS);
    ch.write(&out);
    OFString value;
    out.findAndGetOFString(DCM_ChannelSensitivity, value);
    QCOMPARE(QString(value.c_str()), QString("1"));
    out.findAndGetOFString(DCM_ChannelSensitivityCorrectionFactor, value);
    QCOMPARE(QString(value.c_str()), QString("1"));
    out.findAndGetOFString(DCM_ChannelLabel, value);
    QCOMPARE(QString(value.c_str()), QString("II"));

    // a set sensitivity of 0.0 stores 1
    WvfChannel set;
    QVERIFY(set.setChannelSensitivity(0.0).good());
    DcmItem written;
    set.write(&written);
    written.findAndGetOFString(DCM_ChannelSensitivity, value);
    QCOMPARE(QString(value.c_str()), QString("1"));

    // UB samples read back as unsigned values; OB data with SS is read as words
    DcmOtherByteOtherWord bytes(DcmTag(DCM_WaveformData, EVR_OB));
    const Uint8 raw[] = {200, 1, 100, 2};
    bytes.putUint8Array(raw, 4);
    WvfChannel ub;
    QVERIFY(ub.readSamplesFromWvfData(&bytes, UB, 2, 2, 0).good());
    double v = 0;
    ub.getSamples()->getSample(0, v);
    QCOMPARE(v, 200.0);
    WvfChannel ss;
    QVERIFY(ss.readSamplesFromWvfData(&bytes, SS, 1, 2, 0).good());
    ss.getSamples()->getSample(0, v);
    QCOMPARE(v, double(Sint16(200 | (1 << 8))));
    QVERIFY(ss.getSamples()->isSigned());
    // asking for more than the element holds is refused, never read past it
    QVERIFY(isWvfError(ss.readSamplesFromWvfData(&bytes, SS, 2, 2, 1)));
    QCOMPARE(ss.readSamplesFromWvfData(&bytes, SS, 2, 1, 2), EC_IllegalParameter);
    QCOMPARE(ss.readSamplesFromWvfData(&bytes, WVF_SAMPLE_INTERPRETATION_UNKNOWN, 1, 1, 0), EC_IllegalCall);
    QCOMPARE(ss.readSamplesFromWvfData(nullptr, SS, 1, 1, 0), EC_IllegalParameter);
}

void TstWvfGroup::channelSkewRule()
{
    DcmItem item;
    item.putAndInsertUint16(DCM_WaveformBitsStored, 16);
    item.putAndInsertString(DCM_ChannelTimeSkew, "0.5");
    item.putAndInsertString(DCM_ChannelSampleSkew, "2");
    WvfChannel both;
    QVERIFY(both.read(&item).good());
    DcmItem out;
    QVERIFY(both.write(&out).good());
    QVERIFY(out.tagExists(DCM_ChannelTimeSkew));
    QVERIFY(!out.tagExists(DCM_ChannelSampleSkew));

    WvfChannel none;
    DcmItem out2;
    QVERIFY(none.write(&out2).good());
    OFString value;
    QVERIFY(out2.findAndGetOFString(DCM_ChannelTimeSkew, value).good());
    QCOMPARE(QString(value.c_str()), QString("0"));
}

void TstWvfGroup::groupWriteLayout()
{
    QScopedPointer<WvfMplxGroup> group(buildGroup(SS, 6, 5000));
    DcmItem item;
    QVERIFY(group->write(&item).good());
    Uint16 bits = 0, channels = 0;
    Uint32 samples = 0;
    item.findAndGetUint16(DCM_WaveformBitsAllocated, bits);
    item.findAndGetUint16(DCM_NumberOfWaveformChannels, channels);
    item.findAndGetUint32(DCM_NumberOfWaveformSamples, samples);
    QCOMPARE(bits, Uint16(16));
    QCOMPARE(channels, Uint16(6));
    QCOMPARE(samples, Uint32(5000));
    DcmElement* data = nullptr;
    QVERIFY(item.findAndGetElement(DCM_WaveformData, data).good());
    QCOMPARE(data->getTag().getEVR(), EVR_OW);
    QCOMPARE(data->getLength(), Uint32(60000));
    Uint16* words = nullptr;
    QVERIFY(data->getUint16Array(words).good());
    for (Uint32 c = 0; c < 6; ++c) {
        QCOMPARE(Sint16(words[c]), Sint16(sampleValue(SS, c, 0)));
        QCOMPARE(Sint16(words[6 * 4999 + c]), Sint16(sampleValue(SS, c, 4999)));
    }
    DcmSequenceOfItems* defs = nullptr;
    QVERIFY(item.findAndGetSequence(DCM_ChannelDefinitionSequence, defs).good());
    QCOMPARE(defs->card(), 6ul);
    OFString orig;
    item.findAndGetOFString(DCM_WaveformOriginality, orig);
    QCOMPARE(QString(orig.c_str()), QString("ORIGINAL"));

    // a group without originality writes and keeps "DERIVED"
    WvfMplxGroup derived;
    WvfChannel* ch = new WvfChannel();
    ch->createSamples(3, SS);
    derived.addChannel(ch, -1);
    derived.setWaveformSampleInterpretation(SS);
    DcmItem out;
    QVERIFY(derived.write(&out).good());
    QVERIFY(derived.getWaveformOriginality(orig));
    QCOMPARE(QString(orig.c_str()), QString("DERIVED"));

    // null item and empty group
    QCOMPARE(derived.write(nullptr), EC_IllegalCall);
    WvfMplxGroup empty;
    DcmItem none;
    QCOMPARE(empty.write(&none), EC_IllegalCall);
    QCOMPARE(none.card(), 0ul);
}

void TstWvfGroup::groupWriteEightBit()
{
    WvfMplxGroup group;
    const Uint8 values[2][3] = {{1, 2, 3}, {10, 20, 30}};
    for (int c = 0; c < 2; ++c) {
        WvfChannel* ch = new WvfChannel();
        ch->createSamples(3, UB);
        for (Uint32 i = 0; i < 3; ++i)
            ch->getSamples()->setSample(i, values[c][i]);
        group.addChannel(ch, -1);
    }
    group.setWaveformSampleInterpretation(UB);
    DcmItem item;
    QVERIFY(group.write(&item).good());
    DcmElement* data = nullptr;
    QVERIFY(item.findAndGetElement(DCM_WaveformData, data).good());
    QCOMPARE(data->getTag().getEVR(), EVR_OB);
    Uint8* bytes = nullptr;
    data->getUint8Array(bytes);
    const Uint8 expected[] = {1, 10, 2, 20, 3, 30};
    QCOMPARE(data->getLength(), Uint32(6));
    QVERIFY(memcmp(bytes, expected, 6) == 0);

    // padding: 0x1234 in an 8-bit group is the single byte 0x34, and reads back
    DcmItem copy(item);
    const Uint16 pad = 0x1234;
    copy.putAndInsertUint16Array(DcmTag(DCM_WaveformPaddingValue, EVR_OW), &pad, 1);
    copy.putAndInsertUint16(DCM_WaveformBitsAllocated, 16);
    copy.putAndInsertString(DCM_WaveformSampleInterpretation, "SS");
    copy.putAndInsertUint32(DCM_NumberOfWaveformSamples, 3);
    copy.findAndDeleteElement(DCM_WaveformData);
    const Uint16 words[] = {1, 2, 3, 4, 5, 6};
    copy.putAndInsertUint16Array(DcmTag(DCM_WaveformData, EVR_OW), words, 6);
    DcmItem* def = nullptr;
    for (int c = 0; c < 2; ++c) {
        copy.findAndGetSequenceItem(DCM_ChannelDefinitionSequence, def, c);
        def->putAndInsertUint16(DCM_WaveformBitsStored, 16);
    }
    WvfMplxGroup read16;
    QVERIFY(read16.read(&copy).good());
    DcmItem again16;
    QVERIFY(read16.write(&again16).good()); // a group read back writes again
    DcmElement* padElem = nullptr;
    QVERIFY(again16.findAndGetElement(DCM_WaveformPaddingValue, padElem).good());
    QCOMPARE(padElem->getTag().getEVR(), EVR_OW);
    Uint16 padRead = 0;
    padElem->getUint16(padRead, 0);
    QCOMPARE(padRead, Uint16(0x1234));

    // the same padding in an 8-bit group
    DcmItem eight(item);
    eight.putAndInsertUint16Array(DcmTag(DCM_WaveformPaddingValue, EVR_OW), &pad, 1);
    WvfMplxGroup read8;
    QVERIFY(read8.read(&eight).good());
    DcmItem again8;
    QVERIFY(read8.write(&again8).good());
    QVERIFY(again8.findAndGetElement(DCM_WaveformPaddingValue, padElem).good());
    QCOMPARE(padElem->getTag().getEVR(), EVR_OB);
    Uint8* padBytes = nullptr;
    padElem->getUint8Array(padBytes);
    QCOMPARE(padBytes[0], Uint8(0x34));
    WvfMplxGroup reread8;
    QVERIFY(reread8.read(&again8).good());
    DcmItem third;
    QVERIFY(reread8.write(&third).good());
    QVERIFY(third.findAndGetElement(DCM_WaveformPaddingValue, padElem).good());
    padElem->getUint8Array(padBytes);
    QCOMPARE(padBytes[0], Uint8(0x34));
}

// The group interleaves and splits all channels in one sweep (fixed code for
// common channel counts, blocks for the others); the result must be what the
// per-channel paths give, at any channel count and at sample counts that end
// inside a block.
void TstWvfGroup::bulkMatchesPerChannel_data()
{
    QTest::addColumn<int>("interp");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("samples");
    QTest::newRow("SS 1 x 1") << int(SS) << 1 << 1;
    QTest::newRow("SS 3 x 12001") << int(SS) << 3 << 12001;
    QTest::newRow("SS 6 x 9001") << int(SS) << 6 << 9001;
    QTest::newRow("SS 12 x 5000") << int(SS) << 12 << 5000;
    QTest::newRow("US 7 x 4097") << int(US) << 7 << 4097;
    QTest::newRow("SB 5 x 20011") << int(SB) << 5 << 20011;
    QTest::newRow("UB 2 x 70000") << int(UB) << 2 << 70000;
}

void TstWvfGroup::bulkMatchesPerChannel()
{
    QFETCH(int, interp);
    QFETCH(int, channels);
    QFETCH(int, samples);
    const WVF_SAMPLE_INTERPRETATION in = WVF_SAMPLE_INTERPRETATION(interp);
    const Uint32 n = Uint32(channels);
    const Uint32 count = Uint32(samples);
    QScopedPointer<WvfMplxGroup> group(buildGroup(in, n, count));
    DcmItem item;
    QVERIFY(group->write(&item).good());
    DcmElement* data = nullptr;
    QVERIFY(item.findAndGetElement(DCM_WaveformData, data).good());
    const Uint32 width = wvfInterpretationBits(in) / 8;
    QCOMPARE(data->getLength(), ((n * count * width) + 1) & ~1u);

    // write: the same bytes as each channel's own multiplex()
    QByteArray expected(int(n * count * width), '\0');
    for (Uint32 c = 0; c < n; ++c)
        QVERIFY(group->getChannel(c + 1)->getSamples()->multiplex(expected.data(), n, c).good());
    Uint8* written = nullptr;
    if (width == 1)
        QVERIFY(data->getUint8Array(written).good());
    else {
        Uint16* words = nullptr;
        QVERIFY(data->getUint16Array(words).good());
        written = reinterpret_cast<Uint8*>(words);
    }
    QVERIFY(written);
    QVERIFY(memcmp(written, expected.constData(), size_t(expected.size())) == 0);

    // read: the group's channels equal channels read one by one, and any
    // run of channels split at once equals them too
    WvfMplxGroup back;
    QVERIFY(back.read(&item).good());
    QCOMPARE(back.getNumberOfChannels(), Uint16(n));
    const Uint32 first = n > 2 ? 1 : 0;
    const Uint32 run = n > 2 ? n - 2 : n;
    QVector<WvfSamples*> runBuffers(int(run), nullptr);
    QVERIFY(WvfChannel::splitSamples(data, in, n, count, first, run, runBuffers.data()).good());
    for (Uint32 c = 0; c < n; ++c) {
        WvfChannel single;
        QVERIFY(single.readSamplesFromWvfData(data, in, n, count, c).good());
        Uint32 bytesA = 0, bytesB = 0;
        Uint8* a = nullptr;
        Uint8* b = nullptr;
        QVERIFY(single.getSamples()->getData(bytesA, a).good());
        QVERIFY(back.getChannel(c + 1)->getSamples()->getData(bytesB, b).good());
        QCOMPARE(bytesB, bytesA);
        QCOMPARE(bytesA, count * width);
        QVERIFY(memcmp(a, b, bytesA) == 0);
        QCOMPARE(back.getChannel(c + 1)->getSamples()->isSigned(), single.getSamples()->isSigned());
        for (Uint32 i = 0; i < count; i += 997) {
            double v = 0;
            QVERIFY(back.getChannel(c + 1)->getSamples()->getSample(i, v).good());
            QCOMPARE(long(v), sampleValue(in, c, i));
        }
        if (c >= first && c < first + run) {
            Uint32 bytesC = 0;
            Uint8* r = nullptr;
            QVERIFY(runBuffers[int(c - first)]->getData(bytesC, r).good());
            QCOMPARE(bytesC, bytesA);
            QVERIFY(memcmp(a, r, bytesA) == 0);
        }
    }
    qDeleteAll(runBuffers);

    // OB data of a 16-bit interpretation is split byte by byte, unaligned
    if (width == 2) {
        DcmOtherByteOtherWord bytes(DcmTag(DCM_WaveformData, EVR_OB));
        QVERIFY(bytes.putUint8Array(written, n * count * 2).good());
        QVector<WvfSamples*> all(int(n), nullptr);
        QVERIFY(WvfChannel::splitSamples(&bytes, in, n, count, 0, n, all.data()).good());
        for (Uint32 c = 0; c < n; ++c) {
            Uint32 bytesA = 0, bytesB = 0;
            Uint8* a = nullptr;
            Uint8* b = nullptr;
            QVERIFY(all[int(c)]->getData(bytesA, a).good());
            QVERIFY(back.getChannel(c + 1)->getSamples()->getData(bytesB, b).good());
            QCOMPARE(bytesA, bytesB);
            QVERIFY(memcmp(a, b, bytesA) == 0);
        }
        qDeleteAll(all);
    }

    // runs that do not lie inside the group are refused without a buffer
    WvfSamples* none[2] = {nullptr, nullptr};
    QCOMPARE(WvfChannel::splitSamples(data, in, n, count, n, 1, none), EC_IllegalParameter);
    QCOMPARE(WvfChannel::splitSamples(data, in, n, count, n - 1, 2, none), EC_IllegalParameter);
    QCOMPARE(WvfChannel::splitSamples(data, in, n, count, 0, 0, none), EC_IllegalParameter);
    QVERIFY(!none[0] && !none[1]);
}

void TstWvfGroup::groupCheck()
{
    WvfMplxGroup group;
    QVERIFY(!group.check(true)); // no sampling frequency: never invented
    OFString orig;
    QVERIFY(group.getWaveformOriginality(orig));
    QCOMPARE(QString(orig.c_str()), QString("DERIVED"));
    group.setSamplingFrequency(500);
    QVERIFY(!group.check(true)); // interpretation not set
    group.setWaveformSampleInterpretation(SS);
    QVERIFY(group.check(false));
    WvfChannel* ch = new WvfChannel();
    group.addChannel(ch, -1);
    QVERIFY(!group.check(true)); // channel without source
    ch->setChannelSourceSequence(code("5.6.3-9-1", "SCPECG", "Lead I"));
    QVERIFY(group.check(true));
    double f = 0;
    QVERIFY(group.getSamplingFrequency(f));
    QCOMPARE(f, 500.0);
}

void TstWvfGroup::groupRefusesInconsistentChannels_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("shorter channel") << "shorter";
    QTest::newRow("longer channel") << "longer";
    QTest::newRow("8-bit buffer in SS group") << "width";
    QTest::newRow("bits allocated 8 for SS") << "bits";
    QTest::newRow("channel without samples") << "nosamples";
    QTest::newRow("zero samples") << "zero";
    QTest::newRow("no interpretation") << "nointerp";
}

void TstWvfGroup::groupRefusesInconsistentChannels()
{
    QFETCH(QString, fault);
    QScopedPointer<WvfMplxGroup> group(buildGroup(SS, 3, 100));
    WvfChannel* last = group->getChannel(3);
    if (fault == "shorter")
        last->createSamples(99, SS);
    else if (fault == "longer")
        last->createSamples(101, SS);
    else if (fault == "width")
        last->createSamples(100, SB);
    else if (fault == "nosamples")
        group->addChannel(new WvfChannel(), -1);
    else if (fault == "zero")
        for (Uint32 c = 1; c <= 3; ++c)
            group->getChannel(c)->createSamples(0, SS);
    else if (fault == "nointerp")
        group->setWaveformSampleInterpretation(WVF_SAMPLE_INTERPRETATION_UNKNOWN);
    DcmItem item;
    if (fault == "bits") {
        // Bits Allocated taken from a read item that says 8
        DcmItem source;
        QVERIFY(group->write(&source).good());
        source.putAndInsertUint16(DCM_WaveformBitsAllocated, 8);
        WvfMplxGroup reread;
        QVERIFY(reread.read(&source).bad());
        return;
    }
    const OFCondition cond = group->write(&item);
    QVERIFY(cond.bad());
    QVERIFY2(isWvfError(cond), cond.text());
    QVERIFY(!item.tagExists(DCM_WaveformData));
    QVERIFY(!item.tagExists(DCM_ChannelDefinitionSequence));
    QVERIFY(group->writeWaveformData(&item).bad());
    QVERIFY(!item.tagExists(DCM_WaveformData));
}

void TstWvfGroup::groupReadIgnoresPartialFrame()
{
    // 1,002 bytes, 4 UB channels: 250 samples each, the last 2 bytes ignored
    DcmItem item;
    item.putAndInsertUint16(DCM_NumberOfWaveformChannels, 4);
    item.putAndInsertUint32(DCM_NumberOfWaveformSamples, 250);
    item.putAndInsertString(DCM_SamplingFrequency, "500");
    item.putAndInsertString(DCM_WaveformOriginality, "ORIGINAL");
    item.putAndInsertUint16(DCM_WaveformBitsAllocated, 8);
    item.putAndInsertString(DCM_WaveformSampleInterpretation, "UB");
    QByteArray bytes(1002, 0);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    item.putAndInsertUint8Array(DcmTag(DCM_WaveformData, EVR_OB), reinterpret_cast<const Uint8*>(bytes.constData()), 1002);
    for (int c = 0; c < 4; ++c) {
        DcmItem* def = nullptr;
        item.findOrCreateSequenceItem(DCM_ChannelDefinitionSequence, def, c);
        def->putAndInsertUint16(DCM_WaveformBitsStored, 8);
    }
    // no Waveform Padding Value: still read
    WvfMplxGroup group;
    QVERIFY(group.read(&item).good());
    QCOMPARE(group.getNumberOfChannels(), Uint16(4));
    QCOMPARE(group.getChannel(4)->getNumberOfSamples(), Uint32(250));
    double v = 0;
    group.getChannel(4)->getSamples()->getSample(249, v);
    QCOMPARE(v, double((249 * 4 + 3) % 251));
    WVF_SAMPLE_INTERPRETATION interp;
    QVERIFY(group.getWaveformSampleInterpretation(interp));
    QCOMPARE(int(interp), int(UB));

    WvfMplxGroup null;
    QCOMPARE(null.read(nullptr), EC_IllegalParameter);
    QCOMPARE(null.readChannels(nullptr), EC_IllegalParameter);
}

void TstWvfGroup::groupReadOverridesChannelCount()
{
    // Number of Waveform Channels says 3, the sequence has 2 items and the
    // data holds 2 channels: 2 channels are read
    QScopedPointer<WvfMplxGroup> built(buildGroup(SS, 2, 50));
    DcmItem item;
    QVERIFY(built->write(&item).good());
    item.putAndInsertUint16(DCM_NumberOfWaveformChannels, 3);
    WvfMplxGroup group;
    QVERIFY(group.read(&item).good());
    QCOMPARE(group.getNumberOfChannels(), Uint16(2));
    QCOMPARE(group.getChannel(2)->getNumberOfSamples(), Uint32(50));
}

void TstWvfGroup::roundTripWithPydicom_data()
{
    QTest::addColumn<int>("interp");
    QTest::addColumn<int>("samples");
    QTest::newRow("SS") << int(SS) << 500;
    QTest::newRow("SB") << int(SB) << 257; // odd byte count per channel
    QTest::newRow("UB") << int(UB) << 300;
    QTest::newRow("US") << int(US) << 128;
}

void TstWvfGroup::roundTripWithPydicom()
{
    QFETCH(int, interp);
    QFETCH(int, samples);
    const WVF_SAMPLE_INTERPRETATION e = WVF_SAMPLE_INTERPRETATION(interp);
    const QString tag = QTest::currentDataTag();
    QStringList files;
    for (Uint32 n = 1; n <= 12; ++n) {
        QScopedPointer<WvfMplxGroup> group(buildGroup(e, n, samples));
        OFCondition cond;
        const QString before = groupDump(group.data(), &cond);
        QVERIFY2(cond.good(), cond.text());
        const QString path = m_dir.filePath(QString("%1_%2.dcm").arg(tag).arg(n));
        cond = saveGroups(path, {group.data()});
        QVERIFY2(cond.good(), cond.text());
        files << path;

        WvfMplxGroup* read = nullptr;
        cond = loadGroup(path, 0, read);
        QScopedPointer<WvfMplxGroup> holder(read);
        QVERIFY2(cond.good(), cond.text());
        QCOMPARE(read->getNumberOfChannels(), Uint16(n));
        for (Uint32 c = 1; c <= n; ++c) {
            WvfSamples* s = read->getChannel(c)->getSamples();
            QCOMPARE(s->getNumberOfSamples(), Uint32(samples));
            QCOMPARE(s->isSigned(), e == SB || e == SS);
            for (Uint32 i = 0; i < Uint32(samples); ++i) {
                double v = 0;
                QVERIFY(s->getSample(i, v).good());
                if (v != double(sampleValue(e, c - 1, i)))
                    QFAIL(qPrintable(QString("channel %1 sample %2: %3").arg(c).arg(i).arg(v)));
            }
        }
        // channel definitions, sensitivities, sources and samples as written
        const QString after = groupDump(read, &cond);
        QVERIFY2(cond.good(), cond.text());
        QCOMPARE(after, before);
    }

    // pydicom de-multiplexes the same files by itself
    const QString bin = m_dir.filePath(tag + ".bin");
    const ToolResult r = runTool(python(), QStringList() << script("wvf_pydicom_demux.py") << bin << files);
    QVERIFY2(r.started, "python3 not found");
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QFile f(bin);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    const qint32* values = reinterpret_cast<const qint32*>(raw.constData());
    qsizetype pos = 0;
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    int groupLine = 0;
    Uint32 channelsSeen = 0;
    for (const QString& line : lines) {
        const QStringList w = line.split(' ');
        if (w[0] == "GROUP") {
            const Uint32 n = w[3].toUInt();
            QCOMPARE(n, Uint32(++groupLine));
            QCOMPARE(w[4].toInt(), samples);
            QCOMPARE(w[5].toInt(), int(wvfInterpretationBits(e)));
            QCOMPARE(w[6], QString(WvfUtils::sampleInterpretationToString(e).c_str()));
            QCOMPARE(w[7], QString(wvfInterpretationBits(e) == 8 ? "OB" : "OW"));
            channelsSeen = 0;
            for (Uint32 c = 0; c < n; ++c)
                for (Uint32 i = 0; i < Uint32(samples); ++i, ++pos) {
                    QVERIFY(pos < raw.size() / 4);
                    if (values[pos] != sampleValue(e, c, i))
                        QFAIL(qPrintable(QString("pydicom: %1 channels, channel %2 sample %3: %4")
                                             .arg(n).arg(c).arg(i).arg(values[pos])));
                }
        } else if (w[0] == "CHANNEL") {
            QCOMPARE(w[1], QString("5.6.3-9-%1").arg(channelsSeen + 1));
            QCOMPARE(w[2].toDouble(), 0.5 + channelsSeen * 0.125);
            QCOMPARE(w[3].toDouble(), channelsSeen * 1.5);
            ++channelsSeen;
        }
    }
    QCOMPARE(groupLine, 12);
    QCOMPARE(pos, raw.size() / 4);

    // dcmdump shows the value representations
    const ToolResult dump = runTool("dcmdump", QStringList() << files.last());
    QVERIFY2(dump.started, "dcmdump not found");
    QCOMPARE(dump.exitCode, 0);
    const QString text = QString::fromUtf8(dump.out);
    const QString dataVr = wvfInterpretationBits(e) == 8 ? "OB" : "OW";
    QVERIFY2(text.contains(QRegularExpression("\\(5400,1010\\) " + dataVr)), qPrintable(text.left(3000)));
    QVERIFY(text.contains(QRegularExpression("\\(5400,1004\\) US ")));
    QVERIFY(text.contains(QRegularExpression("\\(003a,0005\\) US ")));
    QVERIFY(text.contains(QRegularExpression("\\(003a,0010\\) UL ")));
    QVERIFY(text.contains(QRegularExpression("\\(5400,1006\\) CS ")));
    QVERIFY(text.contains(QRegularExpression("\\(003a,0210\\) DS \\[0\\.5\\]")));
    QVERIFY(text.contains(QRegularExpression("\\(003a,021a\\) US ")));
}

void TstWvfGroup::damagedFilesRefused()
{
    // one good two-group file (SS and SB), damaged in its first group by pydicom
    QScopedPointer<WvfMplxGroup> ss(buildGroup(SS, 6, 400));
    QScopedPointer<WvfMplxGroup> sb(buildGroup(SB, 3, 400));
    const QString good = m_dir.filePath("good.dcm");
    OFCondition cond = saveGroups(good, {ss.data(), sb.data()});
    QVERIFY2(cond.good(), cond.text());
    WvfMplxGroup* check = nullptr;
    cond = loadGroup(good, 0, check);
    delete check;
    QVERIFY2(cond.good(), cond.text());

    const QString dir = m_dir.filePath("damaged");
    QVERIFY(QDir().mkpath(dir));
    const ToolResult r = runTool(python(), QStringList() << script("wvf_make_malformed.py") << good << dir);
    QVERIFY2(r.started, "python3 not found");
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QStringList files = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(files.size(), 15);
    for (const QString& path : files) {
        WvfMplxGroup* group = nullptr;
        cond = loadGroup(path, 0, group);
        QScopedPointer<WvfMplxGroup> holder(group);
        QVERIFY2(group != nullptr, qPrintable(path));
        QVERIFY2(cond.bad(), qPrintable(QFileInfo(path).baseName() + " was read"));
        qInfo("%s refused: %s", qPrintable(QFileInfo(path).baseName()), cond.text());
        // the second group of the same file is intact
        WvfMplxGroup* second = nullptr;
        cond = loadGroup(path, 1, second);
        delete second;
        QVERIFY2(cond.good(), qPrintable(QFileInfo(path).baseName() + ": " + cond.text()));
    }
}

void TstWvfGroup::dcmodifyDamageRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("bits allocated 12") << QStringList{"-m", "(5400,0100)[0].(5400,1004)=12"};
    QTest::newRow("bits allocated 0") << QStringList{"-m", "(5400,0100)[0].(5400,1004)=0"};
    QTest::newRow("number of samples larger") << QStringList{"-m", "(5400,0100)[0].(003a,0010)=401"};
    QTest::newRow("number of channels 0") << QStringList{"-m", "(5400,0100)[0].(003a,0005)=0"};
    QTest::newRow("interpretation SB in 16-bit group") << QStringList{"-m", "(5400,0100)[0].(5400,1006)=SB"};
    QTest::newRow("bits stored removed") << QStringList{"-e", "(5400,0100)[0].(003a,0200)[2].(003a,021a)"};
}

void TstWvfGroup::dcmodifyDamageRefused()
{
    QFETCH(QStringList, args);
    QScopedPointer<WvfMplxGroup> ss(buildGroup(SS, 6, 400));
    const QString path = m_dir.filePath(QString("dcmodify_%1.dcm").arg(QTest::currentDataTag()).replace(' ', '_'));
    OFCondition cond = saveGroups(path, {ss.data()});
    QVERIFY2(cond.good(), cond.text());
    const ToolResult r = runTool("dcmodify", QStringList() << "-nb" << args << path);
    QVERIFY2(r.started, "dcmodify not found");
    QVERIFY2(r.exitCode == 0, r.err.constData());
    WvfMplxGroup* group = nullptr;
    cond = loadGroup(path, 0, group);
    QScopedPointer<WvfMplxGroup> holder(group);
    QVERIFY(cond.bad());
}

QTEST_GUILESS_MAIN(TstWvfGroup)
#include "tst_wvfgroup.moc"
