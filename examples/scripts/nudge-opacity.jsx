// Knob: the opacity of every selected layer down by 5 %, kept within 0 to 100, as one undo
// step. On a keyframed opacity the value is set at the playhead (a key there). Replies the
// new values, comma-separated.
var step = -5;
var comp = app.project.activeItem;
var values = [];
if (comp instanceof CompItem) {
    app.beginUndoGroup("Nudge Opacity");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var opacity = layers[i].transform.opacity;
        var v = Math.max(0, Math.min(100, opacity.value + step));
        if (opacity.numKeys > 0) opacity.setValueAtTime(comp.time, v);
        else opacity.setValue(v);
        values.push(v);
    }
    app.endUndoGroup();
}
values.join(",");
