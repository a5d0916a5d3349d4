// Button: an opacity keyframe at the playhead on every selected layer, holding the value
// there. Replies each layer's number of keys.
var comp = app.project.activeItem;
var counts = [];
if (comp instanceof CompItem) {
    app.beginUndoGroup("Add Opacity Keyframe");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var opacity = layers[i].transform.opacity;
        opacity.addKey(comp.time);
        counts.push(opacity.numKeys);
    }
    app.endUndoGroup();
}
counts.join(",");
