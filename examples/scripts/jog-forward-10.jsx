// Jog wheel, fast spin clockwise: ten frames later, stopping at the last frame.
var comp = app.project.activeItem;
var frame = 0;
if (comp instanceof CompItem) {
    var last = Math.ceil(comp.duration * comp.frameRate) - 1;
    frame = Math.min(last, Math.round(comp.time * comp.frameRate) + 10);
    comp.time = frame / comp.frameRate;
}
frame;
