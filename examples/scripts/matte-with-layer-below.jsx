// Button: the layer below the selected one becomes its track matte (its alpha), as one undo
// step. Replies the matte's name, or "none" when no layer is selected or none lies below.
var comp = app.project.activeItem;
var reply = "none";
if (comp instanceof CompItem && comp.selectedLayers.length > 0) {
    var layer = comp.selectedLayers[0];
    if (layer.index < comp.numLayers) {
        app.beginUndoGroup("Matte With Layer Below");
        layer.setTrackMatte(comp.layer(layer.index + 1), TrackMatteType.ALPHA);
        app.endUndoGroup();
        reply = layer.trackMatteLayer.name;
    }
}
reply;
