import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One section of an accordion: its heading is a button; the body shows while
// the section is the open one.
ColumnLayout {
    id: section

    required property UiDefs defs
    required property int index
    property int openedIndex: -1
    property string title: ""
    property string summary: ""
    default property alias content: body.data
    readonly property bool expanded: openedIndex === index

    signal toggled(int index)

    spacing: 0

    ItemDelegate {
        Layout.fillWidth: true
        implicitHeight: 52
        leftPadding: section.defs.greenPadding
        rightPadding: section.defs.greenPadding
        onClicked: section.toggled(section.expanded ? -1 : section.index)
        Accessible.name: section.summary.length > 0 ? section.title + ", " + section.summary : section.title
        contentItem: RowLayout {
            spacing: 12
            Label {
                text: section.expanded ? "\u25BE" : "\u25B8"
                color: section.defs.colorAccent
                font.pointSize: section.defs.fontSizeListEntry
            }
            Label {
                Layout.fillWidth: true
                text: section.title
                color: section.defs.colorText
                font.family: section.defs.commonFont
                font.pointSize: section.defs.fontSizeListEntry
                elide: Text.ElideRight
            }
            Label {
                text: section.summary
                color: section.defs.colorTextDim
                font.family: section.defs.commonFont
                font.pointSize: section.defs.fontSizeNormal
            }
        }
    }

    ColumnLayout {
        id: body
        Layout.fillWidth: true
        Layout.leftMargin: section.defs.orangePadding
        Layout.rightMargin: section.defs.greenPadding
        Layout.bottomMargin: 16
        visible: section.expanded
        spacing: 8
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: "#d5dddd"
    }
}
