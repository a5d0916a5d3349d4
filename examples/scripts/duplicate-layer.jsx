// Button: a copy of every selected layer, each directly above its original, as one undo
// step. Replies the copies' names.
var comp = app.project.activeItem;
var names = [];
if (comp instanceof CompItem) {
    var layers = comp.selectedLayers;
    app.beginUndoGroup("Duplicate Layers");
    for (var i = 0; i < layers.length; i++) names.push(layers[i].duplicate().name);
    app.endUndoGroup();
}
names.join(",");
