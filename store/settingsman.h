#ifndef MALVORANT_SETTINGSMAN_H
#define MALVORANT_SETTINGSMAN_H

#include "stringcipher.h"

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

// Save categories, the bits of saveSettings' mask.
enum SettingsCategory {
    SettingsUncategorized = 0x1,
    SettingsDisplay = 0x2,
    SettingsStreaming = 0x8,
    SettingsFile = 0x10,
    SettingsAddress = 0x20,
    SettingsDicom = 0x40,
    SettingsQvlService = 0x80,
    SettingsTermsOfUse = 0x100
};

// Every setting of the program as a numbered row of systemTable, mirrored in
// a public member. Users change members and save them by category. The two
// secret values (oids 4 and 48) are plain in memory and enciphered in their rows.
class CSettingsMan
{
public:
    // The key of the settings cipher; existing databases hold texts made with it.
    static constexpr std::uint64_t kCipherKey = 0x5e18a9c03f7b62d4ULL;
    static const char* const kDefaultGatewayUrl;
    static const char* const kDefaultQvlUrl;

    // Fills a new database (fromDbVersion 0) or adds the rows of later versions,
    // inserts every known row that is missing with its default, then loads.
    CSettingsMan(const QString& applicationName, QSqlDatabase* database, int fromDbVersion,
                 int toDbVersion);

    CSettingsMan(const CSettingsMan&) = delete;
    CSettingsMan& operator=(const CSettingsMan&) = delete;

    // False when writing the rows at start failed (the caller ends start-up).
    bool isOk() const { return m_ok; }

    bool createDatabaseContents(const QString& applicationName);
    bool upgradeDatabaseContent(const QString& applicationName, int fromDbVersion, int toDbVersion);
    // Inserts every known row that is missing, with its new-database default.
    bool insertMissingRows(const QString& applicationName);
    bool loadSettings();
    // Writes every category of the mask in one transaction; false (and nothing
    // written) when a statement fails.
    bool saveSettings(int updateMask);
    // Re-reads one row into its member: oids 7, 47, 70 to 76.
    bool readValue(int oid);
    // Writes one row, not the member: text for 7, 47, 70, 71, 73, 76; number for 72, 74, 75.
    bool writeValue(int oid, int number, const QString& text);

    QString listLocalIpv4Addresses() const;
    // The rule behind listLocalIpv4Addresses, on given interfaces: each entry is
    // the interface's flags and its address texts.
    static QString formatLocalIpv4Addresses(const QList<QPair<unsigned, QStringList>>& interfaces);

    // One per row, in oid order.
    int patientId = 1;                      // 2
    QString cipherOid4;                     // 4, enciphered
    int intOid5 = 0;                        // 5
    QString bzdevice;                       // 7
    int intOid8 = 0;                        // 8
    QString textOid9;                       // 9
    int ecgDisplayMode = 3;                 // 11
    int speed = 5000;                       // 12
    QString textOid16;                      // 16
    int gain = 500;                         // 17
    QString textOid18;                      // 18
    QString textOid21;                      // 21
    int intOid22 = 0;                       // 22
    int intOid23 = 0;                       // 23
    int intOid24 = 0;                       // 24
    int intOid26 = 0;                       // 26
    int intOid27 = 2;                       // 27
    int intOid28 = 10;                      // 28
    QString addressLine1;                   // 29
    QString addressLine2;                   // 30
    QString addressLine3;                   // 31
    QString addressLine4;                   // 32
    QString addressLine5;                   // 33
    QString addressLine6;                   // 34
    QString dcmModalityName;                // 35
    int dcmModalityPort = 21060;            // 36
    QString dcmMwlIp;                       // 37
    QString dcmMwlTitle;                    // 38
    int dcmMwlPort = 104;                   // 39
    QString dcmPacsIp;                      // 40
    QString dcmPacsTitle;                   // 41
    int dcmPacsPort = 104;                  // 42
    QString dcmInstitutionName;             // 43
    int powerIs60Hz = 1;                    // 44
    int ecgGridIdx = 3;                     // 45
    QString qvlUrl;                         // 46
    QString qvlUserName;                    // 47
    QString qvlPwd;                         // 48, enciphered
    int recordingSeconds = 60;              // 49
    int weightUnitIsPound = 1;              // 50
    int fileId = -1;                        // 51
    int qvlAccountVerified = 0;             // 52
    QString modifiedToken;                  // 54
    int dicomDisableLocalPatients = 0;      // 55
    int dicomDisableLocalFiles = 0;         // 56
    int dicomMwlConfigStatus = 0;           // 57
    int dicomPacsConfigStatus = 0;          // 58
    int showHeartRateActive = 0;            // 59
    int playHeartBeatActive = 0;            // 60
    int tucAccepted = 0;                    // 61
    int intOid62 = 14;                      // 62
    int intOid63 = 0;                       // 63
    int streamPort = 9400;                  // 64
    QString streamHost;                     // 65
    int inputType = 0;                      // 66
    bool showIndicatorHints = true;         // 68
    int selectedSpecies = 0;                // 69
    QString customerId;                     // 70
    QString textOid71;                      // 71
    int upgradeAttemptCount = 0;            // 72
    QString lastUpgradeAttempt;             // 73
    int intOid74 = 0;                       // 74
    int intOid75 = 0;                       // 75
    QString appVersionNumber;               // 76

    // One row's description (defined with the table of rows).
    struct Row;

private:
    static const QList<Row>& rows();
    static const Row* findRow(int oid);

    QVariant defaultValue(const Row& row, const QString& applicationName) const;
    QVariant rowValue(const Row& row);
    void setMember(const Row& row, const QVariant& stored);
    void setDefaults(const QString& applicationName);
    bool insertRows(const QList<QPair<int, QVariant>>& values);
    QVariant bindable(const Row& row, const QVariant& value);

    QSqlDatabase* m_db = nullptr;
    CStringCipher m_cipher;
    bool m_ok = true;
};

#endif
