// Button: select the keys under the playhead (within half a frame of it) on every property of
// the selected layers, as a click on them in the timeline adds them to the selection. Replies
// how many keys are selected there.
var comp = app.project.activeItem;
var count = 0;
function selectUnder(group, time, halfFrame) {
    for (var i = 1; i <= group.numProperties; i++) {
        var p = group.property(i);
        if (p instanceof PropertyGroup) {
            selectUnder(p, time, halfFrame);
        } else if (p.numKeys > 0) {
            var k = p.nearestKeyIndex(time);
            if (Math.abs(p.keyTime(k) - time) < halfFrame) {
                p.setSelectedAtKey(k, true);
                count++;
            }
        }
    }
}
if (comp instanceof CompItem) {
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) selectUnder(layers[i], comp.time, comp.frameDuration / 2);
}
count;
