// Button: a marker at the playhead on the selected layer, with a comment. Replies how many
// markers the layer has.
var comp = app.project.activeItem;
var count = 0;
if (comp instanceof CompItem && comp.selectedLayers.length === 1) {
    var layer = comp.selectedLayers[0];
    app.beginUndoGroup("Add Marker");
    layer.marker.setValueAtTime(comp.time, new MarkerValue("Cue"));
    app.endUndoGroup();
    count = layer.marker.numKeys;
}
count;
