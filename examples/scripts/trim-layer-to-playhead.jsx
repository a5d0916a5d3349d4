// Button: the selected layers end at the playhead (their out point set to the composition's
// time), as one undo step. Replies name:outPoint for each layer trimmed.
var comp = app.project.activeItem;
var trimmed = [];
if (comp instanceof CompItem) {
    var layers = comp.selectedLayers;
    app.beginUndoGroup("Trim Layers to Playhead");
    for (var i = 0; i < layers.length; i++) {
        if (comp.time > layers[i].inPoint) {
            layers[i].outPoint = comp.time;
            trimmed.push(layers[i].name + ":" + layers[i].outPoint);
        }
    }
    app.endUndoGroup();
}
trimmed.join(",");
