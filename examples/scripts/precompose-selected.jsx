// Button: the selected layers into a new composition named after the first of them, as one
// undo step. Replies the new composition's name and how many layers it holds.
var comp = app.project.activeItem;
var reply = "";
if (comp instanceof CompItem && comp.selectedLayers.length > 0) {
    var layers = comp.selectedLayers;
    var indices = [];
    for (var i = 0; i < layers.length; i++) indices.push(layers[i].index);
    app.beginUndoGroup("Precompose");
    var inner = comp.layers.precompose(indices, layers[0].name + " Comp", true);
    app.endUndoGroup();
    reply = inner.name + "|" + inner.numLayers;
}
reply;
