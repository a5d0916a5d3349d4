// Jog wheel, fast spin anticlockwise: ten frames earlier, stopping at the first frame.
var comp = app.project.activeItem;
var frame = 0;
if (comp instanceof CompItem) {
    frame = Math.max(0, Math.round(comp.time * comp.frameRate) - 10);
    comp.time = frame / comp.frameRate;
}
frame;
