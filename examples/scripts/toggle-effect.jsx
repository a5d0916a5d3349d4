// Button: the first effect of the selected layer on or off (its eye in the timeline).
// Replies the effect's name and its new state.
var comp = app.project.activeItem;
var state = "";
if (comp instanceof CompItem && comp.selectedLayers.length > 0) {
    var effects = comp.selectedLayers[0].property("ADBE Effect Parade");
    if (effects.numProperties > 0) {
        var effect = effects.property(1);
        effect.enabled = !effect.enabled;
        state = effect.name + ":" + effect.enabled;
    }
}
state;
