import QtQuick

HelpPopup {
    title: "Possible ECG Interference Issue"
    text: "Uh-oh! Something looks funny. Please ensure that:\n- The clips are not touching each other or metal\n- The device is away from other electronic equipment and metal surfaces\n- The patient is not moving, panting or purring"
}
