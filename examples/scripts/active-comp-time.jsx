// Display: the active composition's name, its playhead as whole-frame seconds and its frame
// rate, for a timecode readout ("Main Comp|0.04|25"); empty without an active composition.
var comp = app.project.activeItem;
var text = "";
if (comp instanceof CompItem) {
    var seconds = Math.round(comp.time * comp.frameRate) / comp.frameRate;
    text = comp.name + "|" + seconds + "|" + comp.frameRate;
}
text;
