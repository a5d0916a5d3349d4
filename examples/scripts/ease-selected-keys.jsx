// Button: easy ease on the selected keys of the selected properties of the selected layers
// (speed 0, influence 33.33 % on both sides, which makes the keys bezier), in one undo
// group. Replies how many keys were eased.
var comp = app.project.activeItem;
var count = 0;
function easeOf(p) {
    var n = p.propertyValueType === PropertyValueType.TwoD ? 2
          : p.propertyValueType === PropertyValueType.ThreeD ? 3 : 1;
    var eases = [];
    for (var i = 0; i < n; i++) eases.push(new KeyframeEase(0, 33.33));
    return eases;
}
if (comp instanceof CompItem) {
    app.beginUndoGroup("Ease Selected Keys");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var props = layers[i].selectedProperties;
        for (var j = 0; j < props.length; j++) {
            if (!(props[j] instanceof Property)) continue;
            var keys = props[j].selectedKeys, ease = easeOf(props[j]);
            for (var k = 0; k < keys.length; k++) {
                props[j].setTemporalEaseAtKey(keys[k], ease, ease);
                count++;
            }
        }
    }
    app.endUndoGroup();
}
count;
