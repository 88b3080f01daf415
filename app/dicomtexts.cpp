#include "dicomtexts.h"

namespace dicomtexts {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text).trimmed();
}

QString statusText(unsigned status)
{
    return QStringLiteral("%1H").arg(status, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString failure(const DcmFailure& f, const QString& errorText, Server server)
{
    const QString name = server == Server::Pacs ? QStringLiteral("The ECG Storage")
                                                : QStringLiteral("The worklist server");
    switch (f.kind) {
    case DcmFailureKind::None:
        return {};
    case DcmFailureKind::Settings:
        return errorText + QLatin1Char('.');
    case DcmFailureKind::Rejected:
        if (f.rejectReason == DcmRejectReason::CalledTitle)
            return QStringLiteral("%1 does not know the AE title \"%2\": check its AE title in the "
                                  "DICOM settings.")
                .arg(name, q(f.calledTitle));
        if (f.rejectReason == DcmRejectReason::CallingTitle)
            return QStringLiteral("%1 does not accept this station's AE title \"%2\": add it there "
                                  "or correct the local AE title in the DICOM settings.")
                .arg(name, q(f.callingTitle));
        return QStringLiteral("%1 rejected the association: check the AE titles in the DICOM "
                              "settings.")
            .arg(name);
    case DcmFailureKind::Refused:
        return QStringLiteral("%1 refused the connection: check its address and port in the DICOM "
                              "settings.")
            .arg(name);
    case DcmFailureKind::NoAnswer:
        return QStringLiteral("%1 did not answer: check its address and that it is running.").arg(name);
    case DcmFailureKind::BrokeOff:
        return QStringLiteral("The connection to %1 broke off before the end.")
            .arg(name.at(0).toLower() + name.mid(1));
    case DcmFailureKind::PeerBusy:
        return QStringLiteral("%1 is out of resources (status %2).").arg(name, statusText(f.status));
    case DcmFailureKind::PeerRefused:
        // Move destination unknown: it does not know where to send the study.
        if (f.status == 0xA801)
            return QStringLiteral("%1 does not know this station's AE title \"%2\" as a destination: "
                                  "add it there with this computer's address and port.")
                .arg(name, q(f.callingTitle));
        if (f.status != 0)
            return QStringLiteral("%1 refused the request (status %2).").arg(name, statusText(f.status));
        return QStringLiteral("%1 refused the request: check that it takes ECGs from this station.")
            .arg(name);
    case DcmFailureKind::ObjectRefused:
        return QStringLiteral("%1 refused this ECG (status %2).").arg(name, statusText(f.status));
    case DcmFailureKind::WrongPeerTitle:
        return QStringLiteral("%1 sent the study as \"%2\", not as \"%3\": enter \"%2\" as its AE "
                              "title in the DICOM settings.")
            .arg(name, q(f.peerTitle), q(f.calledTitle));
    case DcmFailureKind::NothingReceived:
        return QStringLiteral("%1 sent no ECG for this study.").arg(name);
    case DcmFailureKind::LocalFolder:
        return QStringLiteral("A folder of this computer can't be written: check the free space and "
                              "the rights of the data folder.");
    case DcmFailureKind::Recording:
        if (server != Server::Pacs || !errorText.startsWith(QLatin1String("Conversion error"))) {
            // A recording file refused for its content says why.
            if (!f.reason.empty())
                return QStringLiteral("The ECG file can't be read or converted. ") + QString::fromStdString(f.reason);
            return QStringLiteral("The ECG file can't be read or converted.");
        }
        // A channel whose scale gives no finite values: a fault of the object
        // itself, worth naming to whoever looks after the PACS.
        if (errorText.contains(QLatin1String("not finite numbers")))
            return QStringLiteral("The ECG sent by the ECG Storage holds values that are not finite "
                                  "numbers: it can't be read by this program.");
        if (!f.reason.empty())
            return QStringLiteral("The ECG sent by the ECG Storage can't be read by this program. ")
                + QString::fromStdString(f.reason);
        return QStringLiteral("The ECG sent by the ECG Storage can't be read by this program.");
    case DcmFailureKind::NotMarked:
        return QStringLiteral("The ECG was sent, but could not be marked as sent.");
    case DcmFailureKind::Other:
        break;
    }
    return QStringLiteral("%1 could not complete the request; the error log has the details.").arg(name);
}

QString sendFailure(const DcmFailure& f, const QString& errorText)
{
    const QString why = failure(f, errorText, Server::Pacs);
    if (dcmFailureIsRecordings(f.kind))
        return why + QStringLiteral("\nThis ECG is not sent again until it or its patient changes.");
    return why + QStringLiteral("\nIt will be sent automatically when the ECG Storage answers.");
}

QString setAsideReason(const DcmFailure& f)
{
    switch (f.kind) {
    case DcmFailureKind::Recording:
        return QStringLiteral("the ECG file can't be read");
    case DcmFailureKind::ObjectRefused:
        return QStringLiteral("refused by the ECG Storage (status %1)").arg(statusText(f.status));
    case DcmFailureKind::NotMarked:
        return QStringLiteral("sent, but not marked as sent");
    default:
        return {};
    }
}

QString testFailure(const DcmFailure& f, const QString& errorText)
{
    switch (f.kind) {
    case DcmFailureKind::Settings:
        return errorText;
    case DcmFailureKind::Rejected:
        if (f.rejectReason == DcmRejectReason::CallingTitle)
            return QStringLiteral("Association rejected: check the local AE title");
        return QStringLiteral("Association rejected: check the AE title");
    case DcmFailureKind::Refused:
        return QStringLiteral("Connection refused: check the address and port");
    case DcmFailureKind::NoAnswer:
        return QStringLiteral("No answer: check the address and that the server is running");
    case DcmFailureKind::BrokeOff:
        return QStringLiteral("The connection broke off: save to test again");
    case DcmFailureKind::PeerBusy:
    case DcmFailureKind::PeerRefused:
        return f.status != 0
            ? QStringLiteral("The server refused the test query (status %1)").arg(statusText(f.status))
            : QStringLiteral("The server refused the test query: check that it offers this service");
    default:
        return QStringLiteral("The test failed: the error log has the details");
    }
}

QString testState(TestState state)
{
    switch (state) {
    case TestNotConfigured:
        return QStringLiteral("Not configured");
    case TestPassed:
        return QStringLiteral("Connection test passed");
    case TestRunning:
        return QStringLiteral("Testing the connection\u2026");
    case TestFailed:
        break;
    }
    return QStringLiteral("The connection test failed");
}

} // namespace dicomtexts
