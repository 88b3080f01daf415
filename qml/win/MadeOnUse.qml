import QtQuick
import QtQuick.Templates as T

// A dialog made the first time it is asked for: a screen that keeps one for
// the rare occasion does not carry it through the live view.
QtObject {
    // The dialog, and the item it belongs to (its parent, as if declared there).
    property Component dialog
    required property Item owner

    property T.Popup made_: null

    // The dialog, made now if it was not yet.
    function made(): T.Popup {
        if (!made_)
            made_ = dialog.createObject(owner) as T.Popup;
        return made_;
    }
    // Closes the dialog if it was ever made.
    function close() {
        if (made_)
            made_.close();
    }
}
