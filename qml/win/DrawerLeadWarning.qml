import QtQuick

WarningDrawer {
    title: "Lead Placement"
    text: "A lead may not be placed well. Tap ? for help."
    onClosedByUser: cQmlInterface.onCloseLeadWarnDrawer()
}
