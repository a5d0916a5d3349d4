// Button: make the selected keys of the selected properties of the selected layers hold keys
// (their value stays until the next key; the incoming side is kept), in one undo group.
// Replies how many keys were changed.
var comp = app.project.activeItem;
var count = 0;
if (comp instanceof CompItem) {
    app.beginUndoGroup("Hold Keys");
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        var props = layers[i].selectedProperties;
        for (var j = 0; j < props.length; j++) {
            var p = props[j];
            if (!(p instanceof Property)) continue;
            var keys = p.selectedKeys;
            for (var k = 0; k < keys.length; k++) {
                p.setInterpolationTypeAtKey(keys[k], p.keyInInterpolationType(keys[k]),
                                            KeyframeInterpolationType.HOLD);
                count++;
            }
        }
    }
    app.endUndoGroup();
}
count;
