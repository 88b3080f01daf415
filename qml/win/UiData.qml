import QtQuick

// The shared state the bridge publishes to the screens.
Item {
    property int displayState: 0
}
