// Knob: the rotation of every selected layer one degree clockwise, as one undo step.
var step = 1;
var comp = app.project.activeItem;
var values = [];
if (comp instanceof CompItem) {
    app.beginUndoGroup("Nudge Rotation");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var rotation = layers[i].property("ADBE Transform Group").property("ADBE Rotate Z");
        if (rotation.numKeys > 0) rotation.setValueAtTime(comp.time, rotation.value + step);
        else rotation.setValue(rotation.value + step);
        values.push(rotation.value);
    }
    app.endUndoGroup();
}
values.join(",");
