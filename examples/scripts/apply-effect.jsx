// Button: Gaussian Blur (by its match name, the same in every language) on every selected
// layer, as one undo step. Replies how many layers got it.
var matchName = "ADBE Gaussian Blur 2";
var comp = app.project.activeItem;
var applied = 0;
if (comp instanceof CompItem) {
    app.beginUndoGroup("Apply Gaussian Blur");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var effects = layers[i].property("ADBE Effect Parade");
        if (effects.canAddProperty(matchName)) {
            effects.addProperty(matchName);
            applied++;
        }
    }
    app.endUndoGroup();
}
applied;
