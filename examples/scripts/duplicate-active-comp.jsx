// Button: a copy of the active composition (its layers, keys, effects and markers), named as
// the host names copies, as one undo step. Replies the copy's name and layer count.
var comp = app.project.activeItem;
var reply = "";
if (comp instanceof CompItem) {
    app.beginUndoGroup("Duplicate Composition");
    var copy = comp.duplicate();
    app.endUndoGroup();
    reply = copy.name + "|" + copy.numLayers;
}
reply;
