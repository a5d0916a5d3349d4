// Button: write each selected layer's name to the script console with $.writeln, where a
// vendor sees its own debug output (the host's journal and live view). Replies how many.
var comp = app.project.activeItem;
var count = 0;
if (comp instanceof CompItem) {
    var layers = comp.selectedLayers;
    for (var i = 0; i < layers.length; i++) {
        $.writeln("Selected: " + layers[i].name);
        count++;
    }
}
count;
