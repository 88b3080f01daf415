#include "settingsman.h"

#include "debuglog.h"
#include "sqlutil.h"

#include <QDebug>
#include <QDir>
#include <QHash>
#include <QNetworkInterface>
#include <QSqlError>
#include <QSqlQuery>

const char* const CSettingsMan::kDefaultGatewayUrl = "https://gateway.quorvale.example/";
const char* const CSettingsMan::kDefaultQvlUrl =
    "https://services.quorvale.example/qvlintegrations/qvltms.asmx";

namespace {
enum class Kind { Int, Text, Cipher, Bool };
}

struct CSettingsMan::Row
{
    int oid;
    Kind kind;
    int category; // 0: never written by saveSettings
    int CSettingsMan::*intMember;
    QString CSettingsMan::*textMember;
    bool CSettingsMan::*boolMember;
};

namespace {

using S = CSettingsMan;

S::Row intRow(int oid, int category, int S::*member)
{
    return {oid, Kind::Int, category, member, nullptr, nullptr};
}
S::Row textRow(int oid, int category, QString S::*member, Kind kind = Kind::Text)
{
    return {oid, kind, category, nullptr, member, nullptr};
}

// Rows that later database versions introduced, with the values they were given.
const QList<QPair<int, QList<QPair<int, QVariant>>>>& upgradeRows()
{
    static const QList<QPair<int, QList<QPair<int, QVariant>>>> rows = {
        {2, {{57, 0}, {58, 0}}},
        {4, {{59, 0}, {60, 0}}},
        {5, {{61, 0}}},
        {6, {{62, 14}}},
        {8, {{63, 0}, {64, 9400}, {65, QStringLiteral("127.0.0.1")}, {66, 0}}},
        {12, {{69, 1}, {68, 1}}},
        {15,
         {{70, QString()}, {71, QString()}, {72, 0}, {73, QString()}, {74, 0}, {75, 0},
          {76, QStringLiteral("0")}}},
    };
    return rows;
}

// The row order of a new database.
QList<int> newDatabaseOrder()
{
    QList<int> order = {2, 4, 5, 7, 8, 9, 11, 12, 16, 17, 18};
    for (int oid = 21; oid <= 24; ++oid)
        order << oid;
    for (int oid = 26; oid <= 52; ++oid)
        order << oid;
    for (int oid = 54; oid <= 61; ++oid)
        order << oid;
    order << 62 << 68 << 69;
    for (int oid = 63; oid <= 66; ++oid)
        order << oid;
    for (int oid = 70; oid <= 76; ++oid)
        order << oid;
    return order;
}

QString textOf(const QVariant& stored)
{
    // Text rows are written as blobs so that digits stay text; older rows are text or integers.
    if (stored.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(stored.toByteArray());
    return stored.toString();
}

int intOf(const QVariant& stored)
{
    if (stored.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(stored.toByteArray()).trimmed().toInt();
    return stored.toInt();
}

QByteArray blobOf(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.isNull())
        bytes = QByteArray("", 0); // an empty text, not NULL
    return bytes;
}

const char* categoryLine(int bit)
{
    switch (bit) {
    case SettingsDisplay: return "CSettingsMan::saveSettings() storing display settings";
    case SettingsStreaming: return "CSettingsMan::saveSettings() storing streaming settings";
    case SettingsFile: return "CSettingsMan::saveSettings() storing file settings";
    case SettingsAddress: return "CSettingsMan::saveSettings() storing address settings";
    case SettingsDicom: return "CSettingsMan::saveSettings() storing dicom settings";
    case SettingsQvlService: return "CSettingsMan::saveSettings() storing yarlo qvl settings";
    case SettingsTermsOfUse: return "CSettingsMan::saveSettings() storing T&C settings";
    default: return "";
    }
}

}

const QList<CSettingsMan::Row>& CSettingsMan::rows()
{
    static const QList<Row> table = {
        intRow(2, SettingsUncategorized, &S::patientId),
        textRow(4, SettingsStreaming, &S::cipherOid4, Kind::Cipher),
        intRow(5, SettingsUncategorized, &S::intOid5),
        textRow(7, SettingsUncategorized, &S::bzdevice),
        intRow(8, SettingsFile, &S::intOid8),
        textRow(9, SettingsFile, &S::textOid9),
        intRow(11, SettingsDisplay, &S::ecgDisplayMode),
        intRow(12, SettingsDisplay, &S::speed),
        textRow(16, SettingsStreaming, &S::textOid16),
        intRow(17, SettingsDisplay, &S::gain),
        textRow(18, SettingsStreaming, &S::textOid18),
        textRow(21, SettingsFile, &S::textOid21),
        intRow(22, SettingsDisplay, &S::intOid22),
        intRow(23, SettingsDisplay, &S::intOid23),
        intRow(24, SettingsUncategorized, &S::intOid24),
        intRow(26, SettingsDisplay, &S::intOid26),
        intRow(27, SettingsUncategorized, &S::intOid27),
        intRow(28, SettingsUncategorized, &S::intOid28),
        textRow(29, SettingsAddress, &S::addressLine1),
        textRow(30, SettingsAddress, &S::addressLine2),
        textRow(31, SettingsAddress, &S::addressLine3),
        textRow(32, SettingsAddress, &S::addressLine4),
        textRow(33, SettingsAddress, &S::addressLine5),
        textRow(34, SettingsAddress, &S::addressLine6),
        textRow(35, SettingsDicom, &S::dcmModalityName),
        intRow(36, SettingsDicom, &S::dcmModalityPort),
        textRow(37, SettingsDicom, &S::dcmMwlIp),
        textRow(38, SettingsDicom, &S::dcmMwlTitle),
        intRow(39, SettingsDicom, &S::dcmMwlPort),
        textRow(40, SettingsDicom, &S::dcmPacsIp),
        textRow(41, SettingsDicom, &S::dcmPacsTitle),
        intRow(42, SettingsDicom, &S::dcmPacsPort),
        textRow(43, SettingsDicom, &S::dcmInstitutionName),
        intRow(44, SettingsUncategorized, &S::powerIs60Hz),
        intRow(45, SettingsDisplay, &S::ecgGridIdx),
        textRow(46, SettingsQvlService, &S::qvlUrl),
        textRow(47, SettingsQvlService, &S::qvlUserName),
        textRow(48, SettingsQvlService, &S::qvlPwd, Kind::Cipher),
        intRow(49, SettingsUncategorized, &S::recordingSeconds),
        intRow(50, SettingsUncategorized, &S::weightUnitIsPound),
        intRow(51, SettingsUncategorized, &S::fileId),
        intRow(52, SettingsQvlService, &S::qvlAccountVerified),
        textRow(54, SettingsQvlService, &S::modifiedToken),
        intRow(55, SettingsDicom, &S::dicomDisableLocalPatients),
        intRow(56, SettingsDicom, &S::dicomDisableLocalFiles),
        intRow(57, SettingsDicom, &S::dicomMwlConfigStatus),
        intRow(58, SettingsDicom, &S::dicomPacsConfigStatus),
        intRow(59, SettingsDisplay, &S::showHeartRateActive),
        intRow(60, SettingsDisplay, &S::playHeartBeatActive),
        intRow(61, SettingsTermsOfUse, &S::tucAccepted),
        intRow(62, 0, &S::intOid62),
        intRow(63, SettingsStreaming, &S::intOid63),
        intRow(64, SettingsStreaming, &S::streamPort),
        textRow(65, SettingsStreaming, &S::streamHost),
        intRow(66, SettingsUncategorized, &S::inputType),
        {68, Kind::Bool, SettingsDisplay, nullptr, nullptr, &S::showIndicatorHints},
        intRow(69, SettingsDisplay, &S::selectedSpecies),
        textRow(70, 0, &S::customerId),
        textRow(71, 0, &S::textOid71),
        intRow(72, 0, &S::upgradeAttemptCount),
        textRow(73, 0, &S::lastUpgradeAttempt),
        intRow(74, 0, &S::intOid74),
        intRow(75, 0, &S::intOid75),
        textRow(76, 0, &S::appVersionNumber),
    };
    return table;
}

const CSettingsMan::Row* CSettingsMan::findRow(int oid)
{
    for (const Row& row : rows())
        if (row.oid == oid)
            return &row;
    return nullptr;
}

CSettingsMan::CSettingsMan(const QString& applicationName, QSqlDatabase* database,
                           int fromDbVersion, int toDbVersion)
    : m_db(database)
    , m_cipher(kCipherKey)
{
    debugLog(4, "entering CSettingsMan constructor fromDbVersion=" + toStdString(fromDbVersion)
                    + ", toDbVersion=" + toStdString(toDbVersion));
    setDefaults(applicationName);
    if (!m_db) {
        m_ok = false;
        return;
    }
    bool ok = true;
    if (fromDbVersion == 0)
        ok = createDatabaseContents(applicationName);
    else if (fromDbVersion != toDbVersion)
        ok = upgradeDatabaseContent(applicationName, fromDbVersion, toDbVersion);
    ok = ok && insertMissingRows(applicationName);
    ok = loadSettings() && ok;
    m_ok = ok;
}

QVariant CSettingsMan::defaultValue(const Row& row, const QString& applicationName) const
{
    switch (row.oid) {
    case 9:
    case 21: return QDir::homePath();
    case 11: return applicationName == QLatin1String("Sornhap Light") ? 1 : 3;
    case 16: return QString::fromLatin1(kDefaultGatewayUrl);
    case 46: return QString::fromLatin1(kDefaultQvlUrl);
    case 62: return applicationName.left(7).compare(QLatin1String("Sornhap"), Qt::CaseInsensitive) == 0 ? 0 : 14;
    case 65: return QStringLiteral("127.0.0.1");
    case 76: return QStringLiteral("0");
    default: break;
    }
    static const QHash<int, int> ints = {
        {2, 1},     {12, 5000}, {17, 500}, {27, 2},  {28, 10},   {36, 21060}, {39, 104},
        {42, 104},  {44, 1},    {45, 3},   {49, 60}, {50, 1},    {51, -1},    {64, 9400},
        {68, 1},
    };
    if (row.kind == Kind::Int || row.kind == Kind::Bool)
        return ints.value(row.oid, 0);
    return QString();
}

void CSettingsMan::setDefaults(const QString& applicationName)
{
    for (const Row& row : rows())
        setMember(row, defaultValue(row, applicationName));
}

void CSettingsMan::setMember(const Row& row, const QVariant& value)
{
    switch (row.kind) {
    case Kind::Int: this->*row.intMember = intOf(value); break;
    case Kind::Bool: this->*row.boolMember = intOf(value) != 0; break;
    case Kind::Text:
    case Kind::Cipher: this->*row.textMember = textOf(value); break;
    }
}

// The value of a member as it is bound into its row.
QVariant CSettingsMan::rowValue(const Row& row)
{
    switch (row.kind) {
    case Kind::Int: return this->*row.intMember;
    case Kind::Bool: return (this->*row.boolMember) ? 1 : 0;
    case Kind::Text: return blobOf(this->*row.textMember);
    case Kind::Cipher: return blobOf(m_cipher.encryptText(this->*row.textMember));
    }
    return {};
}

// A plain default or upgrade value as it is bound into its row.
QVariant CSettingsMan::bindable(const Row& row, const QVariant& value)
{
    switch (row.kind) {
    case Kind::Int:
    case Kind::Bool: return intOf(value);
    case Kind::Text: return blobOf(textOf(value));
    case Kind::Cipher: return blobOf(m_cipher.encryptText(textOf(value)));
    }
    return {};
}

bool CSettingsMan::insertRows(const QList<QPair<int, QVariant>>& values)
{
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    QSqlQuery q(*m_db);
    q.prepare(QStringLiteral("insert or ignore into systemTable (oid, value) values (?, ?)"));
    for (const auto& entry : values) {
        const Row* row = findRow(entry.first);
        if (!row)
            continue;
        q.addBindValue(entry.first);
        q.addBindValue(bindable(*row, entry.second));
        if (!q.exec()) {
            debugLogError("CSettingsMan unable to insert settings row oid=" + toStdString(entry.first)
                          + ", error=" + q.lastError().text().toStdString());
            return false;
        }
    }
    return transaction.commit();
}

bool CSettingsMan::createDatabaseContents(const QString& applicationName)
{
    debugLog(4, "CSettingsMan::createDatabaseContents() started");
    qDebug().noquote() << "CSettingsMan::createDatabaseContents() started, appName=" + applicationName;
    QList<QPair<int, QVariant>> values;
    const QList<int> order = newDatabaseOrder();
    for (int oid : order)
        values.append({oid, defaultValue(*findRow(oid), applicationName)});
    const bool ok = insertRows(values);
    debugLog(2, "CSettingsMan::createDatabaseContents() finished");
    return ok;
}

bool CSettingsMan::upgradeDatabaseContent(const QString&, int fromDbVersion, int toDbVersion)
{
    debugLog(4, "CSettingsMan::upgradeDatabaseContent() fromDbVersion=" + toStdString(fromDbVersion)
                    + ", toDbVersion=" + toStdString(toDbVersion));
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    for (int v = fromDbVersion + 1; v <= toDbVersion; ++v) {
        debugLog(2, "CSettingsMan::upgradeDatabaseContent() started for new version=" + toStdString(v));
        for (const auto& step : upgradeRows())
            if (step.first == v && !insertRows(step.second))
                return false;
        debugLog(4, "CSettingsMan::upgradeDatabaseContent() ended for new version=" + toStdString(v));
    }
    return transaction.commit();
}

bool CSettingsMan::insertMissingRows(const QString& applicationName)
{
    QList<QPair<int, QVariant>> values;
    for (const Row& row : rows())
        values.append({row.oid, defaultValue(row, applicationName)});
    return insertRows(values);
}

bool CSettingsMan::loadSettings()
{
    debugLog(4, "CSettingsMan::loadSettings() started");
    QSqlQuery q(*m_db);
    if (!q.exec(QStringLiteral("select oid, value from systemTable order by oid"))) {
        debugLogError("CSettingsMan::loadSettings() unable to read settings, error="
                      + q.lastError().text().toStdString());
        return false;
    }
    while (q.next()) {
        const int oid = q.value(0).toInt();
        if (oid < 1 || oid > 76) {
            debugLogError("unable to process system table entry oid=" + toStdString(oid));
            continue;
        }
        const Row* row = findRow(oid);
        if (!row)
            continue; // the schema version and unused oids
        if (row->kind == Kind::Cipher)
            this->*row->textMember = m_cipher.decryptText(textOf(q.value(1)));
        else
            setMember(*row, q.value(1));
    }
    debugLog(4, "CSettingsMan::loadSettings() ended");
    return true;
}

bool CSettingsMan::saveSettings(int updateMask)
{
    debugLog(4, "CSettingsMan::saveSettings(), updateMask=" + toStdString(updateMask));
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    QSqlQuery q(*m_db);
    q.prepare(QStringLiteral("insert or replace into systemTable (oid, value) values (?, ?)"));
    for (int bit : {SettingsUncategorized, SettingsDisplay, SettingsStreaming, SettingsFile,
                    SettingsAddress, SettingsDicom, SettingsQvlService, SettingsTermsOfUse}) {
        if (!(updateMask & bit))
            continue;
        if (bit == SettingsUncategorized)
            debugLog(2, "CSettingsMan::saveSettings() storing uncategorized settings patientId="
                            + toStdString(patientId) + ", fileId=" + toStdString(fileId)
                            + ", recordingSeconds=" + toStdString(recordingSeconds));
        else
            debugLog(2, categoryLine(bit));
        for (const Row& row : rows()) {
            if (row.category != bit)
                continue;
            q.addBindValue(row.oid);
            q.addBindValue(rowValue(row));
            if (!q.exec()) {
                debugLogError("CSettingsMan::saveSettings() unable to store oid=" + toStdString(row.oid)
                              + ", error=" + q.lastError().text().toStdString());
                return false;
            }
        }
    }
    return transaction.commit();
}

bool CSettingsMan::readValue(int oid)
{
    static const QList<int> readable = {7, 47, 70, 71, 72, 73, 74, 75, 76};
    if (!readable.contains(oid))
        return false;
    QSqlQuery q(*m_db);
    q.prepare(QStringLiteral("select oid, value from systemTable where oid=?"));
    q.addBindValue(oid);
    if (!q.exec() || !q.next())
        return false;
    setMember(*findRow(oid), q.value(1));
    return true;
}

bool CSettingsMan::writeValue(int oid, int number, const QString& text)
{
    static const QList<int> textOids = {7, 47, 70, 71, 73, 76};
    static const QList<int> numberOids = {72, 74, 75};
    QVariant value;
    if (textOids.contains(oid))
        value = blobOf(text);
    else if (numberOids.contains(oid))
        value = number;
    else
        return false;
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    QSqlQuery q(*m_db);
    q.prepare(QStringLiteral("insert or replace into systemTable (oid, value) values (?, ?)"));
    q.addBindValue(oid);
    q.addBindValue(value);
    if (!q.exec()) {
        debugLogError("CSettingsMan::writeValue() unable to store oid=" + toStdString(oid)
                      + ", error=" + q.lastError().text().toStdString());
        return false;
    }
    return transaction.commit();
}

QString CSettingsMan::formatLocalIpv4Addresses(const QList<QPair<unsigned, QStringList>>& interfaces)
{
    const unsigned wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning
        | QNetworkInterface::CanBroadcast;
    QString result;
    for (const auto& iface : interfaces) {
        if ((iface.first & 0xF) != wanted)
            continue;
        for (const QString& address : iface.second) {
            if (address.count(QLatin1Char('.')) != 3)
                continue;
            if (address.startsWith(QLatin1String("169.254.")) || address.startsWith(QLatin1String("127.")))
                continue;
            result += result.isEmpty() ? address : QStringLiteral(" or ") + address;
        }
    }
    return result;
}

QString CSettingsMan::listLocalIpv4Addresses() const
{
    QList<QPair<unsigned, QStringList>> interfaces;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : all) {
        QStringList addresses;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            addresses << entry.ip().toString();
        interfaces.append({static_cast<unsigned>(iface.flags().toInt()), addresses});
    }
    return formatLocalIpv4Addresses(interfaces);
}
