// Button: a text layer on top of the active composition, its text then set through its
// TextDocument, as one undo step. Replies the text read back from the layer.
var comp = app.project.activeItem;
var reply = "";
if (comp instanceof CompItem) {
    app.beginUndoGroup("Add Text Layer");
    var layer = comp.layers.addText("Hello");
    var doc = layer.sourceText.value;
    doc.text = "Now Playing";
    doc.fontSize = 48;
    layer.sourceText.setValue(doc);
    app.endUndoGroup();
    reply = layer.sourceText.value.text;
}
reply;
