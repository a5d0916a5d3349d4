// The object model's script half, over the natives of the bindings (ScriptBindings.cpp): the
// classes the host has (so that instanceof works), collections, accessors and the callable
// property groups. Every read asks the host afresh, so objects always show its current state.
// Evaluated once per engine; its value is the function that installs the model. Built into the
// program (EmbedScript.cmake) as kObjectModel.
(function (cb, global, dialect) {
  // The built-ins the bindings rely on, taken before any script runs: a script may replace the
  // globals (Error = ...) or the prototypes' methods (Function.prototype.apply = ...), and the
  // model still answers it and every later script the same. Code in here calls no prototype
  // method at run time: elements are read by index and calls go straight to the natives.
  var Object = global.Object, Array = global.Array, Error = global.Error, String = global.String,
      defineProperty = Object.defineProperty, create = Object.create,
      setProto = Object.setPrototypeOf, freeze = Object.freeze,
      hasOwn = Object.prototype.hasOwnProperty, reflectApply = global.Reflect.apply;
  // Object.defineProperty with the descriptor's own fields only, so that what a script puts on
  // Object.prototype (a "get", say) cannot change a definition.
  function def(o, name, d) {
    var own = create(null);
    for (var f in d) if (reflectApply(hasOwn, d, [f])) own[f] = d[f];
    return defineProperty(o, name, own);
  }
  // Every call into the host: op(name, handle, args...) returns the result or throws the
  // host's error; opList(name, handle, arguments) takes the arguments as one array-like.
  var op = cb.op, opList = cb.opList;
  // The host's member list (members.json, built into the program): classes, named groups,
  // globals, the script environment and the enumerations with their values.
  var list = cb.members();
  // The one error for a member the host has and this model lacks (with the engine's own
  // Error, whatever a script makes of the global).
  var NativeError = Error;
  function notModelled(name) {
    return new NativeError('"' + name + '" is not modelled by the simulated host');
  }
  var protos = [];  // [prototype, class name] for every class below
  // A class of the host's: a global unless hidden (the host has no AVItem), with String(obj)
  // naming it as the host does. construct: what `new` does (none: an empty object).
  function cls(name, base, hidden, construct) {
    var f = construct || function () {};
    if (base) f.prototype = create(base.prototype);
    def(f.prototype, 'constructor', { value: f });
    def(f.prototype, 'toString', {
      value: function () { return '[object ' + name + ']'; }, writable: true, configurable: true
    });
    protos.push([f.prototype, name]);
    if (!hidden) def(global, name, { value: f, writable: true, configurable: true });
    return f;
  }
  var PropertyBase = cls('PropertyBase'), PropertyGroup = cls('PropertyGroup', PropertyBase),
      Property = cls('Property', PropertyBase), Layer = cls('Layer', PropertyGroup),
      AVLayer = cls('AVLayer', Layer), Item = cls('Item'), AVItem = cls('AVItem', Item, true),
      CompItem = cls('CompItem', AVItem), FootageItem = cls('FootageItem', AVItem),
      FolderItem = cls('FolderItem', Item), Viewer = cls('Viewer'),
      Collection = cls('Collection'), ItemCollection = cls('ItemCollection', Collection),
      LayerCollection = cls('LayerCollection', Collection), Application = cls('Application'),
      Project = cls('Project');
  var kinds = { c: CompItem, f: FootageItem, d: FolderItem, l: AVLayer, p: Property, v: Viewer };
  // [kind, id] from the host as the object a script holds. A group is callable, as in the
  // host: group(name) is group.property(name).
  var handle = create(null);  // the descriptor of every reference's _h, filled in each time
  function wrap(r) {
    if (r === null || r === undefined) return r;
    var o;
    if (r[0] === 'g') {
      o = function (x) { return o.property(x); };
      setProto(o, PropertyGroup.prototype);
    } else {
      o = create(kinds[r[0]].prototype);
    }
    handle.value = r[1];
    defineProperty(o, '_h', handle);
    return o;
  }
  // The host's list of references, each replaced by its object.
  function wrapAll(list) {
    for (var i = 0; i < list.length; i++) list[i] = wrap(list[i]);
    return list;
  }
  // The class of a prototype (or of the project and app objects) and its bases in the list.
  function lineage(obj) {
    var name = null, out = [];
    for (var i = 0; i < protos.length && name === null; i++)
      if (protos[i][0] === obj) name = protos[i][1];
    while (name && list.classes[name]) {
      out[out.length] = list.classes[name];  // no push: it runs under a script
      name = list.classes[name].base;
    }
    return out;
  }
  // Whether the host lets a script write the attribute of that prototype's class.
  function writable(proto, name) {
    var classes = lineage(proto);
    for (var i = 0; i < classes.length; i++)
      for (var j = 0; j < classes[i].members.length; j++)
        if (classes[i].members[j].name === name) return classes[i].members[j].kind === 'attribute';
    return false;
  }
  var ONE = 1, ALL = 2;
  function attr(proto, name, getOp, setOp, wraps) {
    def(proto, name, {
      get: function () {
        var v = op(getOp, this._h);
        return wraps === ONE ? wrap(v) : wraps === ALL ? wrapAll(v) : v;
      },
      set: function (v) {
        if (!setOp) {
          // Read-only in the host: its wording; writable there: not modelled here.
          if (writable(proto, name)) throw notModelled(name);
          throw new Error('Unable to set "' + name + '". It is read-only.');
        }
        op(setOp, this._h, v);
      },
      configurable: true
    });
  }
  function attrs(proto, prefix, names) {
    for (var i = 0; i < names.length; i++) attr(proto, names[i], prefix + names[i]);
  }
  function method(proto, name, opName, wraps) {
    def(proto, name, {
      value: function () {
        var v = opList(opName, this._h, arguments);
        return wraps === ONE ? wrap(v) : wraps === ALL ? wrapAll(v) : v;
      },
      writable: true, configurable: true
    });
  }
  function shortcut(proto, name, matchName) {
    def(proto, name, { get: function () { return this.property(matchName); }, configurable: true });
  }

  // ---- items ----
  def(Item.prototype, 'id', { get: function () { return this._h; } });
  attr(Item.prototype, 'name', 'item.name', 'item.name=');
  attr(Item.prototype, 'typeName', 'item.typeName');
  attr(Item.prototype, 'selected', 'item.selected', 'item.selected=');
  attr(Item.prototype, 'parentFolder', 'item.parentFolder', null, ONE);
  var C = CompItem.prototype;
  attrs(C, 'comp.', ['duration', 'frameRate', 'frameDuration', 'workAreaStart', 'workAreaDuration',
                     'width', 'height', 'pixelAspect', 'numLayers']);
  attr(C, 'time', 'comp.time', 'comp.time=');
  attr(C, 'hideShyLayers', 'comp.hideShyLayers', 'comp.hideShyLayers=');
  attr(C, 'selectedLayers', 'comp.selectedLayers', null, ALL);
  attr(C, 'selectedProperties', 'comp.selectedProperties', null, ALL);
  // layer(index | name), or layer(otherLayer, relIndex): then the layer's handle and the
  // offset, the only form that passes two arguments.
  def(C, 'layer', {
    value: function (x, relIndex) {
      return wrap(x instanceof Layer ? op('comp.layer', this._h, x._h, relIndex)
                                     : op('comp.layer', this._h, x));
    },
    writable: true, configurable: true
  });
  method(C, 'openInViewer', 'comp.openInViewer', ONE);
  def(C, 'layers', {
    get: function () {
      var list = wrapAll(op('comp.layers', this._h)), c = create(LayerCollection.prototype);
      def(c, '_h', { value: this._h });
      def(c, 'length', { value: list.length });
      for (var i = 0; i < list.length; i++) c[i + 1] = list[i];
      return c;
    }
  });
  method(LayerCollection.prototype, 'addSolid', 'comp.addSolid', ONE);
  method(LayerCollection.prototype, 'addNull', 'comp.addNull', ONE);
  def(LayerCollection.prototype, 'byName', {
    value: function (name) { return wrap(op('comp.layer', this._h, String(name))); }
  });

  // ---- property groups, properties and layers ----
  var B = PropertyBase.prototype, G = PropertyGroup.prototype, P = Property.prototype,
      L = AVLayer.prototype;
  attr(B, 'name', 'node.name');
  attrs(B, 'node.', ['matchName', 'propertyIndex', 'propertyDepth', 'isEffect']);
  attr(B, 'parentProperty', 'node.parentProperty', null, ONE);
  attr(B, 'selected', 'node.selected', 'node.selected=');
  attr(G, 'numProperties', 'group.numProperties');
  method(G, 'property', 'group.property', ONE);
  method(G, 'canAddProperty', 'group.canAddProperty');
  method(G, 'addProperty', 'group.addProperty', ONE);
  method(G, 'remove', 'group.remove');
  shortcut(G, 'transform', 'ADBE Transform Group');
  shortcut(G, 'effect', 'ADBE Effect Parade');
  shortcut(G, 'anchorPoint', 'ADBE Anchor Point');
  shortcut(G, 'position', 'ADBE Position');
  shortcut(G, 'scale', 'ADBE Scale');
  shortcut(G, 'rotation', 'ADBE Rotate Z');
  shortcut(G, 'zRotation', 'ADBE Rotate Z');
  shortcut(G, 'opacity', 'ADBE Opacity');
  attrs(P, 'prop.', ['value', 'numKeys', 'isTimeVarying', 'propertyValueType', 'hasMin', 'hasMax',
                     'minValue', 'maxValue', 'selectedKeys']);
  def(P, 'canVaryOverTime', { value: true });
  var propMethods = ['setValue', 'setValueAtTime', 'valueAtTime', 'addKey', 'keyTime', 'keyValue',
                     'removeKey', 'nearestKeyIndex', 'keySelected', 'setSelectedAtKey'];
  for (var m = 0; m < propMethods.length; m++) method(P, propMethods[m], 'prop.' + propMethods[m]);
  attr(L, 'name', 'node.name', 'layer.name=');
  attrs(L, 'layer.', ['index', 'active', 'nullLayer', 'inPoint', 'outPoint', 'startTime']);
  var switches = ['selected', 'enabled', 'solo', 'shy', 'locked'];
  for (var s = 0; s < switches.length; s++)
    attr(L, switches[s], 'layer.' + switches[s], 'layer.' + switches[s] + '=');
  attr(L, 'containingComp', 'layer.containingComp', null, ONE);
  attr(L, 'selectedProperties', 'layer.selectedProperties', null, ALL);
  method(L, 'remove', 'layer.remove');
  method(L, 'moveToBeginning', 'layer.moveToBeginning');
  method(L, 'moveToEnd', 'layer.moveToEnd');
  // A target layer crosses as its handle; anything else as null, which the host refuses.
  var moves = ['moveBefore', 'moveAfter'];
  for (var mv = 0; mv < moves.length; mv++)
    (function (name) {
      def(L, name, {
        value: function (target) {
          op('layer.' + name, this._h, target instanceof Layer ? target._h : null);
        },
        writable: true, configurable: true
      });
    })(moves[mv]);

  // ---- the project, the viewer and the application ----
  var project = create(Project.prototype);
  protos.push([project, 'Project']);
  attr(project, 'numItems', 'project.numItems');
  attr(project, 'activeItem', 'project.activeItem', null, ONE);
  attr(project, 'selection', 'project.selection', null, ALL);
  method(project, 'item', 'project.item', ONE);
  method(project, 'itemByID', 'project.itemByID', ONE);
  def(project, 'items', {
    get: function () {
      var list = wrapAll(op('project.items', 0)), c = create(ItemCollection.prototype);
      def(c, 'length', { value: list.length });
      for (var i = 0; i < list.length; i++) c[i + 1] = list[i];
      return c;
    }
  });
  method(ItemCollection.prototype, 'addComp', 'project.addComp', ONE);
  method(ItemCollection.prototype, 'addFolder', 'project.addFolder', ONE);
  // The enumerations with the host's values, as its type definitions give them.
  for (var en in list.enums) {
    var values = {};
    for (var ev = 0; ev < list.enums[en].length; ev++)
      values[list.enums[en][ev].name] = list.enums[en][ev].value;
    def(global, en, { value: freeze(values), writable: true, configurable: true });
  }
  var ViewerType = global.ViewerType;
  def(Viewer.prototype, 'type', { value: ViewerType.VIEWER_COMPOSITION });
  attr(Viewer.prototype, 'active', 'viewer.active');
  method(Viewer.prototype, 'setActive', 'viewer.setActive');

  var effects = cb.effects();
  for (var e = 0; e < effects.length; e++) freeze(effects[e]);
  freeze(effects);
  var app = create(Application.prototype);
  protos.push([app, 'Application']);
  def(app, 'effects', { value: effects, enumerable: true });
  def(app, 'project', { value: project, enumerable: true });
  def(app, 'isoLanguage', { get: function () { return cb.language(); }, enumerable: true });
  def(app, 'version', { get: function () { return cb.version(); }, enumerable: true });
  attr(app, 'activeViewer', 'app.activeViewer', null, ONE);
  app.executeCommand = function (n) {
    if (typeof n !== 'number')
      throw new Error('Unable to call "executeCommand" because of parameter 1. Value is not a number.');
    cb.exec(n);
  };
  app.findMenuCommandId = function (name) { return cb.findMenuCommandId(String(name)); };
  app.beginUndoGroup = function (name) { op('app.beginUndoGroup', 0, name); };
  app.endUndoGroup = function () { op('app.endUndoGroup', 0); };
  def(global, 'app', { value: app, enumerable: false, writable: false, configurable: false });

  // ---- every member the host has and this model lacks: the one "not modelled" error ----
  // An attribute throws it on read and on write; a method is a function that throws it when
  // called (and a write to it throws it too). Members the model has are left as they are;
  // names the host does not have stay ordinary script properties.
  var stubMethods = create(null);  // name -> the throwing function, to tell stubs apart
  function stubMethod(name) {
    if (!stubMethods[name])
      stubMethods[name] = function () { throw notModelled(name); };
    return stubMethods[name];
  }
  function stubMembers(target, members) {
    for (var i = 0; i < members.length; i++) {
      var m = members[i];
      if (m.name in target) continue;
      (function (name, method) {
        var fail = function () { throw notModelled(name); };
        def(target, name, method ? { get: function () { return stubMethod(name); }, set: fail,
                                     configurable: true }
                                 : { get: fail, set: fail, configurable: true });
      })(m.name, m.kind === 'method');
    }
  }
  // The classes the model lacks exist, so that instanceof works; constructing one throws.
  var ordered = [], seen = create(null);
  function order(name) {
    if (seen[name]) return;
    seen[name] = true;
    if (list.classes[name].base) order(list.classes[name].base);
    ordered.push(name);
  }
  for (var cn in list.classes) order(cn);
  function targetOf(name) {
    for (var i = 0; i < protos.length; i++) if (protos[i][1] === name) return protos[i][0];
    return null;
  }
  for (var oc = 0; oc < ordered.length; oc++) {
    var name = ordered[oc], c = list.classes[name];
    if (targetOf(name) === null) {
      cls(name, c.base ? targetOf(c.base).constructor : null, false,
          (function (n) { return function () { throw notModelled(n); }; })(name));
    }
    // The application and the project are single objects: their members are their own.
    stubMembers(name === 'Application' ? app : name === 'Project' ? project : targetOf(name),
                c.members);
  }
  // Named groups (layer.transform.position) are attributes of property groups.
  for (var gn in list.groups) stubMembers(PropertyGroup.prototype, list.groups[gn].members);
  // The script environment (Environment.js): $, File, Folder, ScriptUI, the global functions,
  // system, app.settings and app's tasks; the members it lacks get the stubs below.
  var system = create(targetOf('System'));
  def(global, 'system', { value: system, writable: true, configurable: true });
  var envModel = cb.environmentModel()(cb, global, {
    def: def, create: create, op: op, Error: NativeError, app: app, cls: cls, list: list,
    targetOf: targetOf, Item: Item, PropertyBase: PropertyBase
  });
  var dollar = envModel.dollar, File = envModel.File, Folder = envModel.Folder,
      ScriptUI = envModel.ScriptUI, environment = envModel.environment,
      keyboardState = envModel.keyboardState;
  def(global, '$', { value: dollar, writable: true, configurable: true });
  def(global, 'ScriptUI', { value: ScriptUI, writable: true, configurable: true });
  var envTargets = { $: dollar, File: File.prototype, FileConstructor: File,
                     Folder: Folder.prototype, FolderConstructor: Folder, ScriptUI: ScriptUI,
                     Environment: environment, KeyboardState: keyboardState };
  for (var env in list.environment) stubMembers(envTargets[env], list.environment[env].members);
  // Global functions the model lacks: a script may still define its own under that name.
  var globals = list.globals.global.members;
  for (var gf = 0; gf < globals.length; gf++) {
    if (globals[gf].name in global) continue;
    def(global, globals[gf].name, { value: stubMethod(globals[gf].name), writable: true,
                                    configurable: true });
  }

  // The host's own answer, for every listed member, whether the model has it: read on a live
  // object of each class (a class without one: its prototype, for the members no live object
  // answers). {status: {Class: {member: "modelled" | "not-modelled"}}, faults: [text]}; a
  // member that is neither (undefined, or another error) is a fault and has no status.
  function memberReport() {
    var status = {}, faults = [];
    function answer(cname, obj, members, unreachable) {
      var out = status[cname] || (status[cname] = {});
      for (var i = 0; i < members.length; i++) {
        var m = members[i], v, s = null, why = 'undefined';
        try {
          v = obj[m.name];
          if (m.kind === 'method')
            s = typeof v !== 'function' ? null : v === stubMethods[m.name] ? 'not-modelled'
                                                                           : 'modelled';
          else if (v !== undefined) s = 'modelled';
        } catch (e) {
          why = String(e);
          if (e.message === notModelled(m.name).message) s = 'not-modelled';
        }
        if (s === null) faults.push(cname + '.' + m.name + ': ' + why);
        else out[m.name] = unreachable ? 'not-modelled' : s;
      }
    }
    var items = project.items, live = { Application: app, Project: project,
                                        ItemCollection: items, System: system };
    for (var i = 1; i <= items.length; i++) {
      var it = items[i], k = it instanceof CompItem ? 'CompItem'
                             : it instanceof FolderItem ? 'FolderItem' : 'FootageItem';
      if (!live[k]) live[k] = it;
    }
    var comp = live.CompItem;
    if (comp && comp.numLayers > 0) {
      live.LayerCollection = comp.layers;
      live.AVLayer = comp.layer(1);
      live.PropertyGroup = live.AVLayer.transform;
      live.Property = live.PropertyGroup.opacity;
    }
    if (app.activeViewer) live.Viewer = app.activeViewer;
    // A class answers with its bases' members; one with no live object, and no live class
    // below it, answers on its prototype for itself and the bases no live object answers for.
    var answered = create(null);
    for (var ln in live)
      for (var b = ln; b; b = list.classes[b].base) answered[b] = true;
    for (var cn2 in list.classes) {
      var members = [], base = cn2, obj = live[cn2] || targetOf(cn2);
      if (!live[cn2] && answered[cn2]) continue;
      for (; base && (base === cn2 || live[cn2] || !answered[base]); base = list.classes[base].base)
        members = members.concat(list.classes[base].members);
      answer(cn2, obj, members);
    }
    // Named groups are read on the transform group; the others (layer styles, camera, light,
    // text, audio, ...) cannot be reached, since the layer attributes leading to them are not
    // modelled, so none of their members counts as modelled (the transform shortcuts every
    // group has, such as opacity, would answer there).
    for (var gn2 in list.groups)
      if (live.PropertyGroup)
        answer(gn2, live.PropertyGroup, list.groups[gn2].members, gn2 !== '_TransformGroup');
    answer('global', global, list.globals.global.members);
    for (var en2 in list.environment)
      answer(en2, envTargets[en2], list.environment[en2].members);
    for (var en3 in list.enums) {
      var vals = list.enums[en3], out = status[en3] = {};
      for (var v = 0; v < vals.length; v++) {
        if (global[en3] && global[en3][vals[v].name] === vals[v].value)
          out[vals[v].name] = 'modelled';
        else faults.push(en3 + '.' + vals[v].name + ': not ' + vals[v].value);
      }
    }
    return { status: status, faults: faults };
  }
  cb.keepMemberReport(memberReport);

  if (dialect !== 'classic') return;
  // The host's own language predates these; a script using them fails there, so here too.
  function drop(owner, names) {
    for (var i = 0; i < names.length; i++) delete owner[names[i]];
  }
  drop(Object, ['keys', 'create', 'defineProperty', 'defineProperties', 'getPrototypeOf',
                'setPrototypeOf', 'getOwnPropertyNames', 'getOwnPropertyDescriptor',
                'getOwnPropertySymbols', 'freeze', 'isFrozen', 'seal', 'isSealed',
                'preventExtensions', 'isExtensible', 'assign', 'is', 'entries', 'values']);
  drop(Array, ['isArray', 'from', 'of']);
  drop(Array.prototype, ['forEach', 'map', 'filter', 'reduce', 'reduceRight', 'some', 'every',
                         'indexOf', 'lastIndexOf', 'find', 'findIndex', 'includes', 'fill',
                         'copyWithin', 'entries', 'keys', 'values']);
  drop(String, ['fromCodePoint', 'raw']);
  drop(String.prototype, ['trim', 'trimStart', 'trimEnd', 'trimLeft', 'trimRight', 'startsWith',
                          'endsWith', 'includes', 'repeat', 'padStart', 'padEnd', 'codePointAt',
                          'normalize']);
  drop(Function.prototype, ['bind']);
  drop(Date, ['now']);
  drop(Date.prototype, ['toISOString', 'toJSON']);
  drop(Number, ['isFinite', 'isInteger', 'isNaN', 'isSafeInteger', 'parseFloat', 'parseInt',
                'EPSILON', 'MAX_SAFE_INTEGER', 'MIN_SAFE_INTEGER']);
  drop(Math, ['trunc', 'sign', 'cbrt', 'log2', 'log10', 'log1p', 'expm1', 'hypot', 'clz32',
              'fround', 'imul', 'cosh', 'sinh', 'tanh', 'acosh', 'asinh', 'atanh']);
  drop(global, ['JSON', 'Reflect', 'Proxy', 'Symbol', 'Promise', 'ArrayBuffer', 'DataView',
                'Int8Array', 'Uint8Array', 'Uint8ClampedArray', 'Int16Array', 'Uint16Array',
                'Int32Array', 'Uint32Array', 'Float32Array', 'Float64Array', 'TextEncoder',
                'TextDecoder', 'performance', 'globalThis', 'Duktape', 'CBOR', 'Map', 'Set',
                'WeakMap', 'WeakSet']);
})
