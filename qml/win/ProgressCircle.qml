import QtQuick

// A ring with an arc from the top, clockwise, to arcEnd degrees.
Canvas {
    id: circle

    property real arcEnd: 0
    property real lineWidth: 6
    property color trackColor: "#50ffffff"
    property color arcColor: "#d8292f"

    onArcEndChanged: requestPaint()

    onPaint: {
        var ctx = getContext("2d");
        ctx.reset();
        var cx = width / 2;
        var cy = height / 2;
        var r = Math.min(width, height) / 2 - lineWidth / 2;
        ctx.lineWidth = lineWidth;
        ctx.strokeStyle = trackColor;
        ctx.beginPath();
        ctx.arc(cx, cy, r, 0, 2 * Math.PI);
        ctx.stroke();
        var start = -Math.PI / 2;
        var end = start + Math.min(arcEnd, 360) * Math.PI / 180;
        ctx.strokeStyle = arcColor;
        ctx.beginPath();
        ctx.arc(cx, cy, r, start, end);
        ctx.stroke();
    }
}
