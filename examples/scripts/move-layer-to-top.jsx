// Button: moves the selected layers to the top of the active composition, keeping their
// order, as one undo step. Replies the layer names, top first.
var comp = app.project.activeItem;
var names = [];
if (comp instanceof CompItem) {
    var selected = comp.selectedLayers;
    app.beginUndoGroup("Move Layers to Top");
    for (var i = 0; i < selected.length; i++) {
        if (i === 0)
            selected[i].moveToBeginning();
        else
            selected[i].moveAfter(selected[i - 1]);
    }
    app.endUndoGroup();
    for (var j = 1; j <= comp.numLayers; j++) names.push(comp.layer(j).name);
}
names.join(",");
