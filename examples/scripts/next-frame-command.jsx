// Button: the host's own Next Frame command instead of setting the time. Replies the time.
app.executeCommand(app.findMenuCommandId("Next Frame"));
var comp = app.project.activeItem;
comp instanceof CompItem ? comp.time : -1;
