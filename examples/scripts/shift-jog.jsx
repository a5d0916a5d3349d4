// Jog button: ten frames later with Shift held, one frame without, stopping at the last frame.
// Replies the frame.
var comp = app.project.activeItem;
var frame = 0;
if (comp instanceof CompItem) {
    var step = ScriptUI.environment.keyboardState.shiftKey ? 10 : 1;
    var last = Math.ceil(comp.duration * comp.frameRate) - 1;
    frame = Math.min(last, Math.round(comp.time * comp.frameRate) + step);
    comp.time = frame / comp.frameRate;
}
frame;
