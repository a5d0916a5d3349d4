// Button: the work area starts at the playhead and runs to the end of the composition. The
// duration is set first, so that the new start fits. Replies "start|duration".
var comp = app.project.activeItem;
if (comp instanceof CompItem) {
    app.beginUndoGroup("Work Area From Playhead");
    var start = comp.time;
    comp.workAreaDuration = comp.duration - start;
    comp.workAreaStart = start;
    app.endUndoGroup();
}
comp.workAreaStart + "|" + comp.workAreaDuration;
