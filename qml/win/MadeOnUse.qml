import QtQuick
import QtQuick.Templates as T

// A box made the first time it is asked for: a screen that keeps one for the
// rare occasion does not carry it through the live view. The box is declared
// in place (`dialog`), or named by its file, so that not even its type loads
// before it is needed.
QtObject {
    property Component dialog
    property string file
    // The item or window it belongs to: its parent, as if declared there.
    required property QtObject owner
    // Properties the box is made with (a file's box: its required ones).
    property var initial: ({})

    // Made, before it is first shown: connect its signals and bindings here.
    signal created(var box)

    property QtObject made_: null

    // The box, made now if it was not yet; null (and logged) if it cannot be made.
    function object(): QtObject {
        if (!made_) {
            const component = dialog ?? Qt.createComponent(file);
            made_ = component.createObject(owner, initial);
            if (!made_) {
                cQmlInterface.postLogMessage("could not make " + (file || "a dialog") + ": "
                                             + component.errorString());
                return null;
            }
            created(made_);
        }
        return made_;
    }
    function made(): T.Popup {
        return object() as T.Popup;
    }
    function open() {
        const box = made();
        if (box)
            box.open();
    }
    // Closes the box if it was ever made.
    function close() {
        const box = made_ as T.Popup;
        if (box)
            box.close();
    }
}
