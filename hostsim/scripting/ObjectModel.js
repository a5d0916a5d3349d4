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
  function cls(name, base) {
    var f = function () {};
    if (base) f.prototype = create(base.prototype);
    def(f.prototype, 'constructor', { value: f });
    def(global, name, { value: f, writable: true, configurable: true });
    return f;
  }
  var PropertyBase = cls('PropertyBase'), PropertyGroup = cls('PropertyGroup', PropertyBase),
      Property = cls('Property', PropertyBase), Layer = cls('Layer', PropertyGroup),
      AVLayer = cls('AVLayer', Layer), Item = cls('Item'), CompItem = cls('CompItem', Item),
      FootageItem = cls('FootageItem', Item), FolderItem = cls('FolderItem', Item),
      Viewer = cls('Viewer'), ItemCollection = cls('ItemCollection'),
      LayerCollection = cls('LayerCollection');
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
  var ONE = 1, ALL = 2;
  function attr(proto, name, getOp, setOp, wraps) {
    def(proto, name, {
      get: function () {
        var v = op(getOp, this._h);
        return wraps === ONE ? wrap(v) : wraps === ALL ? wrapAll(v) : v;
      },
      set: function (v) {
        if (!setOp) throw new Error('Unable to set "' + name + '". It is read-only.');
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
  method(C, 'layer', 'comp.layer', ONE);
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
                     'minValue', 'maxValue']);
  def(P, 'canVaryOverTime', { value: true });
  var propMethods = ['setValue', 'setValueAtTime', 'valueAtTime', 'addKey', 'keyTime', 'keyValue',
                     'removeKey', 'nearestKeyIndex'];
  for (var m = 0; m < propMethods.length; m++) method(P, propMethods[m], 'prop.' + propMethods[m]);
  attr(L, 'name', 'node.name', 'layer.name=');
  attrs(L, 'layer.', ['index', 'active', 'nullLayer', 'inPoint', 'outPoint', 'startTime']);
  var switches = ['selected', 'enabled', 'solo', 'shy', 'locked'];
  for (var s = 0; s < switches.length; s++)
    attr(L, switches[s], 'layer.' + switches[s], 'layer.' + switches[s] + '=');
  attr(L, 'containingComp', 'layer.containingComp', null, ONE);
  attr(L, 'selectedProperties', 'layer.selectedProperties', null, ALL);
  method(L, 'remove', 'layer.remove');

  // ---- the project, the viewer and the application ----
  var project = {};
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
  var ViewerType = freeze({ VIEWER_COMPOSITION: 6401, VIEWER_LAYER: 6402, VIEWER_FOOTAGE: 6403 });
  def(global, 'ViewerType', { value: ViewerType, writable: true, configurable: true });
  def(global, 'PropertyValueType', {
    value: freeze({ NO_VALUE: 6412, ThreeD_SPATIAL: 6413, ThreeD: 6414, TwoD_SPATIAL: 6415,
                    TwoD: 6416, OneD: 6417, COLOR: 6418 }),
    writable: true, configurable: true });
  def(Viewer.prototype, 'type', { value: ViewerType.VIEWER_COMPOSITION });
  attr(Viewer.prototype, 'active', 'viewer.active');
  method(Viewer.prototype, 'setActive', 'viewer.setActive');

  var effects = cb.effects();
  for (var e = 0; e < effects.length; e++) freeze(effects[e]);
  freeze(effects);
  var app = {};
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
