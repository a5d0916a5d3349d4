// The script environment's script half, over the environment's operations
// (EnvironmentBindings.cpp): $, the global functions (alert, confirm, prompt, write, isValid,
// the time display), ScriptUI's keyboard state, system, app.settings and app's tasks and
// fixed attributes, File and Folder. Called once by the object model (ObjectModel.js) with its
// tools; like it, it calls no prototype method at run time (a script may replace them). Returns
// the objects the object model puts on the global object and checks against the member list.
(function (cb, global, t) {
  var def = t.def, create = t.create, op = t.op, NativeError = t.Error, app = t.app,
      RangeError = global.RangeError, Date = global.Date, String = global.String;
  function readOnly(name) {
    return function () { throw new NativeError('Unable to set "' + name + '". It is read-only.'); };
  }
  function ro(o, name, get) { def(o, name, { get: get, set: readOnly(name), configurable: true }); }
  // An attribute the script may write and read back (the host's setting has no effect here).
  function stored(o, name, value) {
    var v = value;
    def(o, name, { get: function () { return v; }, set: function (x) { v = x; },
                   configurable: true });
  }
  function fn(o, name, f) { def(o, name, { value: f, writable: true, configurable: true }); }
  function joined(args) {
    var s = '';
    for (var i = 0; i < args.length; i++) s += args[i];
    return s;
  }
  function named(name) {
    var o = {};
    fn(o, 'toString', function () { return '[object ' + name + ']'; });
    return o;
  }

  // ---- $ ----
  var dollar = named('$');
  fn(dollar, 'write', function () { op('$.write', 0, joined(arguments)); });
  fn(dollar, 'writeln', function () { op('$.write', 0, joined(arguments) + '\n'); });
  // Sleeps in steps, and stops as the engine does once the script must end.
  fn(dollar, 'sleep', function (ms) {
    if (op('$.sleep', 0, ms) === false) throw new RangeError('execution timeout');
  });
  fn(dollar, 'gc', function () { cb.gc(); });
  fn(dollar, 'bp', function () {});  // no debugger is attached: a breakpoint does nothing
  fn(dollar, 'getenv', function (name) { return op('$.getenv', 0, String(name)); });
  fn(dollar, 'setenv', function (name, value) { op('$.setenv', 0, String(name), String(value)); });
  fn(dollar, 'evalFile', function (path) {
    var f = new File(path);
    if (!f.open('r')) throw new NativeError(f.error);
    var source = f.read();
    f.close();
    return cb.evalSource(source, f.fsName);
  });
  ro(dollar, 'global', function () { return global; });
  ro(dollar, 'os', function () { return op('$.os', 0); });
  ro(dollar, 'version', function () { return '4.5.5'; });
  ro(dollar, 'build', function () { return '4.5.5.1'; });
  ro(dollar, 'buildDate', function () { return new Date(2024, 0, 1); });
  ro(dollar, 'engineName', function () { return 'main'; });
  ro(dollar, 'fileName', function () { return ''; });  // a script sent as text has no file
  ro(dollar, 'line', function () { return cb.line(); });
  ro(dollar, 'stack', function () { return cb.stack(); });
  ro(dollar, 'includePath', function () { return ''; });
  ro(dollar, 'screens', function () {
    return [{ left: 0, top: 0, right: 1920, bottom: 1080, primary: true }];
  });
  var lastRead = 0;
  ro(dollar, 'hiresTimer', function () {
    var now = op('$.micros', 0), since = now - lastRead;
    lastRead = now;
    return since;
  });
  // Writing $.error raises it, as in the host.
  def(dollar, 'error', {
    get: function () { return null; },
    set: function (e) { throw e instanceof NativeError ? e : new NativeError(String(e)); },
    configurable: true
  });
  stored(dollar, 'level', 0);
  stored(dollar, 'flags', 0);
  stored(dollar, 'memCache', 0);
  stored(dollar, 'strict', false);
  stored(dollar, 'localize', false);
  stored(dollar, 'decimalPoint', '.');
  stored(dollar, 'locale', cb.language());

  // ---- the global functions ----
  fn(global, 'alert', function (message, title) {
    op('global.alert', 0, String(message), title === undefined ? title : String(title));
  });
  fn(global, 'confirm', function (message, noAsDflt, title) {
    return op('global.confirm', 0, String(message), !!noAsDflt,
              title === undefined ? title : String(title));
  });
  fn(global, 'prompt', function (message, preset, title) {
    return op('global.prompt', 0, String(message), preset === undefined ? preset : String(preset),
              title === undefined ? title : String(title));
  });
  fn(global, 'write', function (text) { op('global.write', 0, String(text)); });
  fn(global, 'writeLn', function (text) { op('global.write', 0, String(text) + '\n'); });
  fn(global, 'clearOutput', function () { op('global.clearOutput', 0); });
  fn(global, 'isValid', function (obj) {
    if (obj === null || obj === undefined) return false;
    if (obj instanceof t.Item) return op('global.isValid', obj._h, 'i');
    if (obj instanceof t.PropertyBase) return op('global.isValid', obj._h, 'n');
    return true;
  });
  fn(global, 'generateRandomNumber', function () { return op('global.generateRandomNumber', 0); });
  fn(global, 'timeToCurrentFormat', function (time, fps) {
    return op('global.timeToCurrentFormat', 0, time, fps);
  });
  fn(global, 'currentFormatToTime', function (text, fps) {
    return op('global.currentFormatToTime', 0, String(text), fps);
  });
  fn(global, 'getEnumAsString', function (value) {
    for (var en in t.list.enums)
      for (var i = 0; i < t.list.enums[en].length; i++)
        if (t.list.enums[en][i].value === value) return en + '.' + t.list.enums[en][i].name;
    throw new NativeError('Unable to call "getEnumAsString" because of parameter 1. ' +
                          value + ' is not an enumerated value.');
  });

  // ---- ScriptUI.environment.keyboardState ----
  var ScriptUI = named('ScriptUI'), environment = named('Environment'),
      keyboardState = named('KeyboardState');
  ro(ScriptUI, 'environment', function () { return environment; });
  ro(environment, 'keyboardState', function () { return keyboardState; });
  var keyNames = ['shiftKey', 'ctrlKey', 'altKey', 'metaKey', 'keyName'];
  for (var k = 0; k < keyNames.length; k++)
    (function (name) {
      ro(keyboardState, name, function () { return op('keys.state', 0)[name]; });
    })(keyNames[k]);

  // ---- system ----
  var S = t.targetOf('System');
  var systemNames = ['osName', 'osVersion', 'userName', 'machineName'];
  for (var s = 0; s < systemNames.length; s++)
    (function (name) { ro(S, name, function () { return op('system.' + name, 0); }); })(
        systemNames[s]);
  fn(S, 'callSystem', function (command) { return op('system.callSystem', 0, String(command)); });

  // ---- app ----
  var P = t.targetOf('Settings'), settings = create(P);
  fn(P, 'haveSetting', function (section, key, type) {
    return op('settings.haveSetting', 0, section, key, type);
  });
  fn(P, 'getSetting', function (section, key, type) {
    return op('settings.getSetting', 0, section, key, type);
  });
  // "All values are strings": a value is saved as its text.
  fn(P, 'saveSetting', function (section, key, value, type) {
    op('settings.saveSetting', 0, section, key, String(value), type);
  });
  ro(app, 'settings', function () { return settings; });
  fn(app, 'scheduleTask', function (text, delay, repeat) {
    return op('app.scheduleTask', 0, String(text), delay, !!repeat);
  });
  fn(app, 'cancelTask', function (id) { op('app.cancelTask', 0, id); });
  ro(app, 'buildName', function () { return 'cuebridge-hostsim'; });
  ro(app, 'buildNumber', function () { return 1; });
  ro(app, 'isWatchFolder', function () { return false; });
  ro(app, 'isRenderEngine', function () { return false; });
  ro(app, 'memoryInUse', function () { return cb.memoryInUse(); });
  stored(app, 'availableGPUAccelTypes', [global.GpuAccelType.SOFTWARE]);
  stored(app, 'disableRendering', false);
  stored(app, 'onError', null);
  stored(app, 'exitAfterLaunchAndEval', false);
  stored(app, 'exitCode', 0);
  stored(app, 'saveProjectOnCrash', true);

  // ---- File and Folder ----
  // Each object holds its absolute path (_p); an open File its open file's id (_id). A call
  // that fails sets `error` and returns false (or null), as in the host; one that works sets it
  // to the empty string.
  function io(o, r) { o._e = r.e; return r.v; }
  function hidden(o, name, value) { def(o, name, { value: value, writable: true }); }
  function init(o, path) {
    hidden(o, '_p', op('file.absolute', 0, path));
    hidden(o, '_e', '');
  }
  function names(o) { return op('file.names', 0, o._p === undefined ? '' : o._p); }
  function dateOf(o) {
    var ms = op('file.modified', 0, o._p === undefined ? '' : o._p);
    return ms === null ? null : new Date(ms);
  }
  var tempNames = 0;
  var File = t.cls('File', null, false, function File(path) {
    var o = this instanceof File ? this : create(File.prototype);
    if (path === undefined) path = Folder.temp.fsName + '/tmp' + (++tempNames);
    init(o, path instanceof File || path instanceof Folder ? path._p : String(path));
    hidden(o, '_id', 0);
    hidden(o, '_enc', 'UTF-8');
    hidden(o, '_lf', 'Unix');
    return o;
  });
  var Folder = t.cls('Folder', null, false, function Folder(path) {
    var o = this instanceof Folder ? this : create(Folder.prototype);
    init(o, path === undefined ? op('folder.current', 0)
                               : path instanceof File || path instanceof Folder ? path._p
                                                                                 : String(path));
    return o;
  });
  var F = File.prototype, D = Folder.prototype, both = [F, D];
  var nameFields = ['absoluteURI', 'fsName', 'name', 'displayName', 'path', 'relativeURI'];
  for (var b = 0; b < both.length; b++) {
    var proto = both[b];
    for (var nf = 0; nf < nameFields.length; nf++)
      (function (field) { ro(proto, field, function () { return names(this)[field]; }); })(
          nameFields[nf]);
    ro(proto, 'fullName', function () { return names(this).absoluteURI; });
    ro(proto, 'parent', function () {
      var p = names(this).parent;
      return p ? new Folder(p) : null;
    });
    ro(proto, 'alias', function () { return false; });
    ro(proto, 'modified', function () { return dateOf(this); });
    ro(proto, 'created', function () { return dateOf(this); });
    def(proto, 'error', { get: function () { return this._e || ''; },
                          set: function (v) { this._e = String(v); }, configurable: true });
    fn(proto, 'remove', function () { return io(this, op('file.remove', 0, this._p)); });
    fn(proto, 'rename', function (newName) {
      var to = io(this, op('file.rename', 0, this._p, String(newName)));
      if (to !== null) this._p = to;
      return to !== null;
    });
    fn(proto, 'changePath', function (path) {
      this._p = op('file.absolute', 0, String(path));
      return true;
    });
    fn(proto, 'toString', function () { return names(this).absoluteURI; });
  }
  fn(F, 'toSource', function () { return '(new File("' + names(this).absoluteURI + '"))'; });
  fn(D, 'toSource', function () { return '(new Folder("' + names(this).absoluteURI + '"))'; });
  ro(F, 'exists', function () {
    return op('file.exists', 0, this._p === undefined ? '' : this._p);
  });
  ro(D, 'exists', function () {
    return op('file.isFolder', 0, this._p === undefined ? '' : this._p);
  });
  ro(F, 'creator', function () { return '????'; });
  ro(F, 'type', function () { return '????'; });
  def(F, 'encoding', { get: function () { return this._enc || 'UTF-8'; },
                       set: function (v) { this._enc = String(v); }, configurable: true });
  def(F, 'lineFeed', { get: function () { return this._lf || 'Unix'; },
                       set: function (v) { this._lf = String(v); }, configurable: true });
  def(F, 'length', {
    get: function () { return io(this, op('file.length', 0, this._p === undefined ? '' : this._p)); },
    set: function (n) { io(this, op('file.setLength', 0, this._p, n)); },
    configurable: true
  });
  ro(F, 'eof', function () { return !this._id || op('file.eof', 0, this._id); });
  function binary(o) { return o._enc === 'BINARY'; }
  function notOpen(o) {
    if (o._id) return false;
    o._e = 'I/O device is not open';
    return true;
  }
  fn(F, 'open', function (mode) {
    if (this._id) op('file.close', 0, this._id);
    this._id = io(this, op('file.open', 0, this._p, mode === undefined ? 'r' : String(mode)));
    return this._id > 0;
  });
  fn(F, 'close', function () {
    if (notOpen(this)) return false;
    var ok = op('file.close', 0, this._id);
    this._id = 0;
    return ok;
  });
  fn(F, 'read', function (chars) {
    if (notOpen(this)) return '';
    var text = io(this, op('file.read', 0, this._id, chars, binary(this)));
    return text === null ? '' : text;
  });
  fn(F, 'readch', function () { return this.read(1); });
  fn(F, 'readln', function () {
    if (notOpen(this)) return '';
    var text = io(this, op('file.readln', 0, this._id, binary(this)));
    return text === null ? '' : text;
  });
  fn(F, 'write', function () {
    if (notOpen(this)) return false;
    return io(this, op('file.write', 0, this._id, joined(arguments), binary(this)));
  });
  fn(F, 'writeln', function () {
    if (notOpen(this)) return false;
    var lf = this._lf === 'Windows' ? '\r\n' : this._lf === 'Macintosh' ? '\r' : '\n';
    return io(this, op('file.write', 0, this._id, joined(arguments) + lf, binary(this)));
  });
  fn(F, 'seek', function (pos, mode) {
    if (notOpen(this)) return false;
    return io(this, op('file.seek', 0, this._id, pos, mode));
  });
  fn(F, 'tell', function () { return this._id ? op('file.tell', 0, this._id) : 0; });
  fn(F, 'copy', function (target) {
    return io(this, op('file.copy', 0, this._p, target instanceof File ? target._p : String(target)));
  });
  fn(D, 'create', function () { return io(this, op('folder.create', 0, this._p)); });
  fn(D, 'getFiles', function (mask) {
    var list = io(this, op('folder.getFiles', 0, this._p,
                           typeof mask === 'string' ? mask : undefined));
    if (list === null) return null;
    var out = [];
    for (var i = 0; i < list.length; i++) {
      var p = list[i], o = p[p.length - 1] === '/' ? new Folder(p) : new File(p);
      if (typeof mask === 'function' && !mask(o)) continue;
      out[out.length] = o;
    }
    return out;
  });
  var statics = [File, Folder];
  for (var st = 0; st < statics.length; st++) {
    var C = statics[st];
    fn(C, 'encode', function (text) { return op('file.encode', 0, String(text)); });
    fn(C, 'decode', function (text) { return op('file.decode', 0, String(text)); });
    fn(C, 'isEncodingAvailable', function (name) {
      var n = String(name);
      return n === 'UTF-8' || n === 'UTF8' || n === 'BINARY' || n === 'ASCII';
    });
    ro(C, 'fs', function () { return 'Unix'; });
  }
  def(Folder, 'current', {
    get: function () { return new Folder(op('folder.current', 0)); },
    set: function (f) {
      var r = op('folder.current=', 0, f instanceof Folder ? f._p : String(f));
      if (!r.v) throw new NativeError('Unable to set "current". ' + r.e);
    },
    configurable: true
  });
  var specials = ['temp', 'userData', 'appData', 'desktop', 'myDocuments'];
  for (var sp = 0; sp < specials.length; sp++)
    (function (which) {
      ro(Folder, which, function () { return new Folder(op('folder.special', 0, which)); });
    })(specials[sp]);

  return { dollar: dollar, File: File, Folder: Folder, ScriptUI: ScriptUI,
           environment: environment, keyboardState: keyboardState };
})
