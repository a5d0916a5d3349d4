// Button: the selected text layers of the active composition set in 48 px and centred, as one
// undo step; other selected layers are left alone. Replies how many text layers changed.
var comp = app.project.activeItem;
var count = 0;
if (comp instanceof CompItem) {
    app.beginUndoGroup("Center Text");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        if (!(layers[i] instanceof TextLayer)) continue;
        var doc = layers[i].sourceText.value;
        doc.fontSize = 48;
        doc.justification = ParagraphJustification.CENTER_JUSTIFY;
        layers[i].sourceText.setValue(doc);
        count++;
    }
    app.endUndoGroup();
}
count;
