// Button: solo on or off for every selected layer. Replies name:solo for each.
var comp = app.project.activeItem;
var states = [];
if (comp instanceof CompItem) {
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        layers[i].solo = !layers[i].solo;
        states.push(layers[i].name + ":" + layers[i].solo);
    }
}
states.join(",");
