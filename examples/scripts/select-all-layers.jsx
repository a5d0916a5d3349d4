// Button: the host's own Select All, found by its name in the command table. Replies how
// many layers are selected afterwards.
app.executeCommand(app.findMenuCommandId("Select All"));
var comp = app.project.activeItem;
comp instanceof CompItem ? comp.selectedLayers.length : 0;
