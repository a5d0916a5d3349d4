// Jog wheel, one detent clockwise: the playhead of the active composition moves one frame
// later, stopping at the last frame. Replies the frame the playhead is on.
var comp = app.project.activeItem;
var frame = 0;
if (comp instanceof CompItem) {
    var last = Math.ceil(comp.duration * comp.frameRate) - 1;
    frame = Math.min(last, Math.round(comp.time * comp.frameRate) + 1);
    comp.time = frame / comp.frameRate;
}
frame;
