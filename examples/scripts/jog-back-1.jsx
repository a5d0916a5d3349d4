// Jog wheel, one detent anticlockwise: one frame earlier, stopping at the first frame.
var comp = app.project.activeItem;
var frame = 0;
if (comp instanceof CompItem) {
    frame = Math.max(0, Math.round(comp.time * comp.frameRate) - 1);
    comp.time = frame / comp.frameRate;
}
frame;
