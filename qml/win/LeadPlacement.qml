import QtQuick

HelpPopup {
    title: "Possible Lead Placement Issue"
    picture: defs.imgPath + "Placement.svg"
    text: "Whoops! Something looks funny. Please ensure that:\nThe leads are firmly connected to the limbs, 1´´-2´´ below each joint (elbows and\nknees) with ample alcohol or gel."
}
