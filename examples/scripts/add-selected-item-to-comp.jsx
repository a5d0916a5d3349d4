// Button: the project items selected in the Project panel (compositions and footage) as new
// layers on top of the composition in the viewer, as one undo step. An item the host refuses
// (the composition itself, one that holds it) is skipped. Replies the new layers' names.
var comp = app.project.activeItem;
var names = [];
if (comp instanceof CompItem) {
    var items = app.project.selection;
    app.beginUndoGroup("Add Items to Composition");
    for (var i = 0; i < items.length; i++) {
        if (!(items[i] instanceof CompItem || items[i] instanceof FootageItem)) continue;
        try {
            names.push(comp.layers.add(items[i]).name);
        } catch (e) {
            // not addable here
        }
    }
    app.endUndoGroup();
}
names.join(",");
