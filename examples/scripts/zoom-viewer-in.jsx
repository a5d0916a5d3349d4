// Jog wheel, one step clockwise: zoom the active viewer's active view in, each step doubling
// the zoom up to the host's largest (16, that is 1600 %). Replies the zoom (1 is 100 %), or
// "none" when no viewer is open.
var viewer = app.activeViewer;
var zoom = "none";
if (viewer) {
    var options = viewer.views[viewer.activeViewIndex].options;
    options.zoom = Math.min(16, options.zoom * 2);
    zoom = options.zoom;
}
zoom;
