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
  // The classes the host has only as bases, as its guide lists them: some are no global at all
  // (instanceof throws), the others a global that no object is an instance of.
  var baseOnly = { Item: 'undefined', AVItem: 'undefined', FootageSource: 'undefined',
                   Collection: 'undefined', PropertyBase: 'never', Layer: 'never' };
  // A class of the host's: a global unless hidden or undefined there, with String(obj) naming
  // it as the host does. construct: what `new` does (none: an empty object).
  function cls(name, base, hidden, construct) {
    var f = construct || function () {};
    if (base) f.prototype = create(base.prototype);
    def(f.prototype, 'constructor', { value: f });
    def(f.prototype, 'toString', {
      value: function () { return '[object ' + name + ']'; }, writable: true, configurable: true
    });
    protos.push([f.prototype, name]);
    var shown = baseOnly[name] === 'never' ? function () {} : f;
    if (!hidden && baseOnly[name] !== 'undefined')
      def(global, name, { value: shown, writable: true, configurable: true });
    return f;
  }
  var PropertyBase = cls('PropertyBase'), PropertyGroup = cls('PropertyGroup', PropertyBase),
      Property = cls('Property', PropertyBase), Layer = cls('Layer', PropertyGroup),
      AVLayer = cls('AVLayer', Layer), Item = cls('Item'), AVItem = cls('AVItem', Item),
      CompItem = cls('CompItem', AVItem), FootageItem = cls('FootageItem', AVItem),
      FolderItem = cls('FolderItem', Item), Viewer = cls('Viewer'),
      Collection = cls('Collection'), ItemCollection = cls('ItemCollection', Collection),
      LayerCollection = cls('LayerCollection', Collection), Application = cls('Application'),
      Project = cls('Project');
  // A KeyframeEase is a value: its speed and influence are its own, checked when it is made
  // (both numbers, the influence within its range) and again when a key takes it.
  function ease(pair, o) {
    o = o || create(KeyframeEase.prototype);
    def(o, 'speed', { value: pair[0], writable: true, enumerable: true, configurable: true });
    def(o, 'influence', { value: pair[1], writable: true, enumerable: true, configurable: true });
    return o;
  }
  // Called without new, it still makes one (never touching the global object).
  var KeyframeEase = cls('KeyframeEase', null, false, function (speed, influence) {
    return ease(op('ease.new', 0, speed, influence),
                this instanceof KeyframeEase ? this : undefined);
  });
  // The layer classes below Layer and AVLayer, and the text layers' TextDocument value.
  var TextLayer = cls('TextLayer', AVLayer), ShapeLayer = cls('ShapeLayer', AVLayer),
      CameraLayer = cls('CameraLayer', Layer), LightLayer = cls('LightLayer', Layer),
      TextDocument = cls('TextDocument', null, false, function (text) {
        def(this, '_d', { value: op('textdoc.new', 0, text === undefined ? text : String(text)),
                          writable: true });
      });
  // A text layer's Source Text: a Property whose value is a TextDocument.
  var SourceText = { prototype: create(Property.prototype) };
  // Footage sources and marker values: made by the host only (a MarkerValue by a script too).
  function refused(name) { return function () { throw notModelled(name); }; }
  var FootageSource = cls('FootageSource', null, false, refused('FootageSource')),
      SolidSource = cls('SolidSource', FootageSource, false, refused('SolidSource')),
      FileSource = cls('FileSource', FootageSource, false, refused('FileSource')),
      PlaceholderSource = cls('PlaceholderSource', FootageSource, false,
                              refused('PlaceholderSource')),
      PlaceholderItem = cls('PlaceholderItem', FootageItem, false, refused('PlaceholderItem')),
      MarkerValue = cls('MarkerValue', null, false, function () {
        def(this, '_v', { value: opList('markerValue.MarkerValue', 0, arguments) });
      });
  // A marker property (layer.marker, comp.markerProperty) is a Property whose keys are
  // markers; its handle is its layer's, or minus its composition's id.
  var MarkerProperty = create(Property.prototype);
  protos.push([MarkerProperty, 'Property']);
  var kinds = { c: CompItem, f: FootageItem, d: FolderItem, l: AVLayer, g: PropertyGroup,
                e: PropertyGroup, p: Property, v: Viewer, t: TextLayer, s: ShapeLayer,
                k: CameraLayer, i: LightLayer, x: SourceText, o: SolidSource, u: FileSource,
                h: PlaceholderItem, q: PlaceholderSource };
  // [kind, id] from the host as the object a script holds. A group or a layer is callable, as
  // in the host: group(name) is group.property(name). The effects group and each effect ("e")
  // also name their children as attributes (layer.effect.gaussianBlur.blurriness). A marker
  // property ("m") is a Property whose keys are markers.
  var callable = { g: true, e: true, l: true, t: true, s: true, k: true, i: true };
  var handle = create(null);  // the descriptor of every reference's _h, filled in each time
  function wrap(r) {
    if (r === null || r === undefined) return r;
    var o, k = r[0];
    if (callable[k]) {
      o = function (x) { return o.property(x); };
      setProto(o, kinds[k].prototype);
    } else {
      o = create(k === 'm' ? MarkerProperty : kinds[k].prototype);
    }
    handle.value = r[1];
    defineProperty(o, '_h', handle);
    if (k === 'e') childAttributes(o);
    return o;
  }
  // The children's intercap names as attributes that look the child up afresh, leaving alone
  // a name the object already answers (its own members, the host's other members).
  function childAttributes(o) {
    var names = op('group.attributeNames', o._h);
    for (var i = 0; i < names.length; i++) {
      if (names[i] in o) continue;
      def(o, names[i], {
        get: (function (name) { return function () { return o.property(name); }; })(names[i]),
        configurable: true
      });
    }
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
  def(Item.prototype, 'id', { get: function () { return this._h; }, configurable: true });
  attr(Item.prototype, 'name', 'item.name', 'item.name=');
  attr(Item.prototype, 'selected', 'item.selected', 'item.selected=');
  // An attribute computed here from what the host answers: read-only as attr's are.
  function computed(proto, name, get) {
    def(proto, name, {
      get: get,
      set: function () {
        if (writable(proto, name)) throw notModelled(name);
        throw new Error('Unable to set "' + name + '". It is read-only.');
      },
      configurable: true
    });
  }
  // Attributes read and written by name through one pair of operations: op(handle, name) and
  // op=(handle, name, value); those in readOnly have no setter.
  function named(proto, opName, names, readOnly) {
    for (var i = 0; i < names.length; i++)
      (function (name) {
        def(proto, name, {
          get: function () { return op(opName, this._h, name); },
          set: function (v) {
            if (readOnly) {
              op(opName, this._h, name);  // what the model lacks says so on write too
              if (writable(proto, name)) throw notModelled(name);
              throw new Error('Unable to set "' + name + '". It is read-only.');
            }
            op(opName + '=', this._h, name, v);
          },
          configurable: true
        });
      })(names[i]);
  }
  // The item type's name follows the host's interface language.
  computed(Item.prototype, 'typeName',
           function () { return op('item.typeName', this._h, cb.language()); });
  def(Item.prototype, 'parentFolder', {
    get: function () { return wrap(op('item.parentFolder', this._h)); },
    set: function (v) { op('item.parentFolder=', this._h, v instanceof FolderItem ? v._h : null); },
    configurable: true
  });
  named(Item.prototype, 'item.setting', ['comment', 'label']);
  method(Item.prototype, 'remove', 'item.remove');
  attr(AVItem.prototype, 'usedIn', 'item.usedIn', null, ALL);
  // An ItemCollection of the folder `h` (0: the root), or of the whole project.
  function itemCollection(refs, h) {
    var list = wrapAll(refs), c = create(ItemCollection.prototype);
    def(c, '_h', { value: h });
    def(c, 'length', { value: list.length });
    for (var i = 0; i < list.length; i++) c[i + 1] = list[i];
    return c;
  }
  var F = FolderItem.prototype;
  computed(F, 'items', function () { return itemCollection(op('folder.items', this._h), this._h); });
  attr(F, 'numItems', 'folder.numItems');
  method(F, 'item', 'folder.item', ONE);
  var FI = FootageItem.prototype, S = SolidSource.prototype, FS = FootageSource.prototype;
  attr(FI, 'mainSource', 'footage.mainSource', null, ONE);
  // A footage item's and its sources' attributes by name; a source's handle is its item's id,
  // a proxy source's minus it.
  named(FI, 'footage.attribute', ['width', 'height', 'pixelAspect', 'time']);
  named(FI, 'footage.attribute', ['duration', 'hasVideo', 'hasAudio', 'frameRate',
                                  'frameDuration'], true);
  named(FS, 'footage.attribute', ['alphaMode', 'invertAlpha', 'premulColor', 'conformFrameRate',
                                  'fieldSeparationType', 'highQualityFieldSeparation', 'loop',
                                  'removePulldown']);
  named(FS, 'footage.attribute', ['hasAlpha', 'isStill', 'displayFrameRate', 'nativeFrameRate'],
        true);
  named(S, 'footage.attribute', ['color']);
  // The simulated host reads no pixels: a still's alpha is what its header says, and nothing
  // moves, so the host's guesses leave the interpretation as it is.
  def(FS, 'guessAlphaMode', { value: function () { op('footage.attribute', this._h, 'hasAlpha'); },
                              writable: true, configurable: true });
  def(FS, 'guessPulldown', { value: function () { op('footage.attribute', this._h, 'isStill'); },
                             writable: true, configurable: true });
  var C = CompItem.prototype;
  attrs(C, 'comp.', ['numLayers']);
  named(C, 'comp.attribute', ['duration', 'frameRate', 'frameDuration', 'workAreaStart',
                              'workAreaDuration', 'width', 'height', 'pixelAspect',
                              'displayStartTime', 'displayStartFrame', 'bgColor', 'shutterAngle',
                              'shutterPhase', 'motionBlur', 'motionBlurSamplesPerFrame',
                              'motionBlurAdaptiveSampleLimit', 'draft3d', 'frameBlending',
                              'preserveNestedFrameRate', 'preserveNestedResolution', 'dropFrame',
                              'resolutionFactor', 'renderer', 'motionGraphicsTemplateName']);
  named(C, 'comp.attribute', ['hasVideo', 'hasAudio', 'footageMissing', 'useProxy', 'proxySource',
                              'activeCamera', 'renderers'], true);
  computed(C, 'markerProperty', function () {
    op('comp.numLayers', this._h);  // an invalid composition says so
    return wrap(['m', -this._h]);
  });
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
    configurable: true,
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
  // A text as the host takes it: a string, a TextDocument (its record), or nothing; anything
  // else crosses as null, which the host refuses.
  function textArg(v) {
    return v === undefined || typeof v === 'string' ? v : v instanceof TextDocument ? v._d : null;
  }
  var LC = LayerCollection.prototype;
  def(LC, 'addText', {
    value: function (text) { return wrap(op('layers.addText', this._h, textArg(text))); },
    writable: true, configurable: true
  });
  def(LC, 'addBoxText', {
    value: function (size, text) {
      return wrap(op('layers.addBoxText', this._h, size, textArg(text)));
    },
    writable: true, configurable: true
  });
  def(LC, 'addVerticalText', {
    value: function (text) { return wrap(op('layers.addVerticalText', this._h, textArg(text))); },
    writable: true, configurable: true
  });
  def(LC, 'addVerticalBoxText', {
    value: function (size, text) {
      return wrap(op('layers.addVerticalBoxText', this._h, size, textArg(text)));
    },
    writable: true, configurable: true
  });
  method(LC, 'addShape', 'layers.addShape', ONE);
  method(LC, 'addCamera', 'layers.addCamera', ONE);
  method(LC, 'addLight', 'layers.addLight', ONE);
  method(LC, 'precompose', 'layers.precompose', ONE);
  def(LayerCollection.prototype, 'byName', {
    value: function (name) { return wrap(op('comp.layer', this._h, String(name))); }
  });

  // ---- footage files, proxies, guides, copies of compositions, layers of items ----
  // A file as the host reads it for footage (kind, name, size, a sequence's timing), through
  // the environment's home; anything but a File is refused with the host's wording.
  function probe(file, method, sequence) {
    if (!(file instanceof File))
      throw new NativeError('Unable to call "' + method + '" because of parameter 1. Value is not a File.');
    return op('footage.probe', 0, file._p, method, sequence === true);
  }
  function fileOf(path) { return path === null ? null : new File(path); }
  computed(FI, 'file', function () { return fileOf(op('footage.attribute', this._h, 'file')); });
  computed(FS, 'file', function () { return fileOf(op('footage.attribute', this._h, 'file')); });
  // A file's footage is missing when the file is not there; a placeholder's always.
  function missing(h) {
    var m = op('footage.attribute', h, 'footageMissing');
    return m === null ? !new File(op('footage.attribute', h, 'file')).exists : m;
  }
  computed(FI, 'footageMissing', function () { return missing(this._h); });
  var FLS = FileSource.prototype;
  computed(FLS, 'missingFootagePath', function () {
    return missing(this._h) ? new File(op('footage.attribute', this._h, 'file')).fsName : '';
  });
  def(FLS, 'reload', {
    value: function () {
      if (this._h < 0)
        throw new NativeError('Unable to call "reload". Only a main source can be reloaded.');
      var setup = probe(new File(op('footage.attribute', this._h, 'file')), 'reload', false);
      setup.name = '';  // the item keeps its name
      op('footage.replace', this._h, setup);
    },
    writable: true, configurable: true
  });
  def(FI, 'replace', {
    value: function (file) { op('footage.replace', this._h, probe(file, 'replace')); },
    writable: true, configurable: true
  });
  def(FI, 'replaceWithSequence', {
    value: function (file) {
      op('footage.replace', this._h, probe(file, 'replaceWithSequence', true));
    },
    writable: true, configurable: true
  });
  method(FI, 'replaceWithSolid', 'footage.replaceWithSolid');
  method(FI, 'replaceWithPlaceholder', 'footage.replaceWithPlaceholder');
  var avItems = [FI, C];
  for (var av = 0; av < avItems.length; av++) {
    var A = avItems[av];
    attr(A, 'useProxy', 'avitem.useProxy', 'avitem.useProxy=');
    attr(A, 'proxySource', 'avitem.proxySource', null, ONE);
    method(A, 'setProxyToNone', 'avitem.setProxyToNone');
    method(A, 'setProxyWithSolid', 'avitem.setProxyWithSolid');
    method(A, 'setProxyWithPlaceholder', 'avitem.setProxyWithPlaceholder');
    def(A, 'setProxy', {
      value: function (file) { op('avitem.setProxy', this._h, probe(file, 'setProxy')); },
      writable: true, configurable: true
    });
    def(A, 'setProxyWithSequence', {
      value: function (file) {
        op('avitem.setProxy', this._h, probe(file, 'setProxyWithSequence', true), true);
      },
      writable: true, configurable: true
    });
  }
  method(Item.prototype, 'addGuide', 'item.addGuide');
  method(Item.prototype, 'removeGuide', 'item.removeGuide');
  method(Item.prototype, 'setGuide', 'item.setGuide');
  attr(Item.prototype, 'guides', 'item.guides');
  method(C, 'duplicate', 'comp.duplicate', ONE);
  def(LC, 'add', {
    value: function (item, duration) {
      return wrap(op('layers.add', this._h, item instanceof AVItem ? item._h : null, duration));
    },
    writable: true, configurable: true
  });

  // ---- property groups, properties and layers ----
  var B = PropertyBase.prototype, G = PropertyGroup.prototype, P = Property.prototype,
      L = AVLayer.prototype, LY = Layer.prototype;
  attr(B, 'name', 'node.name', 'node.name=');
  attrs(B, 'node.', ['matchName', 'propertyIndex', 'propertyDepth', 'isEffect', 'propertyType',
                     'isModified']);
  attr(B, 'parentProperty', 'node.parentProperty', null, ONE);
  attr(B, 'selected', 'node.selected', 'node.selected=');
  attr(B, 'enabled', 'node.enabled', 'node.enabled=');
  attr(B, 'canSetEnabled', 'node.canSetEnabled');
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
  // A display name that is a plain word is an attribute as well (layer.Effects,
  // layer.Transform.Position), as the host finds properties by name in any of its syntaxes.
  var wordNames = [['Transform', 'ADBE Transform Group'], ['Effects', 'ADBE Effect Parade'],
                   ['Masks', 'ADBE Mask Parade'], ['Text', 'ADBE Text Properties'],
                   ['Contents', 'ADBE Root Vectors Group'], ['Position', 'ADBE Position'],
                   ['Scale', 'ADBE Scale'], ['Rotation', 'ADBE Rotate Z'],
                   ['Opacity', 'ADBE Opacity']];
  for (var wn = 0; wn < wordNames.length; wn++) shortcut(G, wordNames[wn][0], wordNames[wn][1]);
  attrs(P, 'prop.', ['value', 'numKeys', 'isTimeVarying', 'propertyValueType', 'hasMin', 'hasMax',
                     'minValue', 'maxValue', 'selectedKeys']);
  def(P, 'canVaryOverTime', { value: true });
  var propMethods = ['setValue', 'setValueAtTime', 'valueAtTime', 'addKey', 'keyTime', 'keyValue',
                     'removeKey', 'nearestKeyIndex', 'keySelected', 'setSelectedAtKey'];
  for (var m = 0; m < propMethods.length; m++) method(P, propMethods[m], 'prop.' + propMethods[m]);
  // Interpolation, ease, a key's state, values at keys, kinds and expressions.
  attrs(P, 'prop.', ['isSpatial', 'unitsText', 'isSeparationLeader', 'isSeparationFollower',
                     'canSetExpression', 'expressionError', 'isDropdownEffect']);
  attr(P, 'dimensionsSeparated', 'prop.dimensionsSeparated', 'prop.dimensionsSeparated=');
  attr(P, 'expression', 'prop.expression', 'prop.expression=');
  attr(P, 'expressionEnabled', 'prop.expressionEnabled', 'prop.expressionEnabled=');
  var keyMethods = ['isInterpolationTypeValid', 'setInterpolationTypeAtKey',
                    'keyInInterpolationType', 'keyOutInterpolationType', 'keyTemporalContinuous',
                    'setTemporalContinuousAtKey', 'keyTemporalAutoBezier',
                    'setTemporalAutoBezierAtKey', 'keySpatialContinuous',
                    'setSpatialContinuousAtKey', 'keySpatialAutoBezier', 'setSpatialAutoBezierAtKey',
                    'keyRoving', 'setRovingAtKey', 'keyInSpatialTangent', 'keyOutSpatialTangent',
                    'setSpatialTangentsAtKey', 'keyLabel', 'setLabelAtKey', 'setValueAtKey',
                    'setValuesAtTimes'];
  for (var km = 0; km < keyMethods.length; km++) method(P, keyMethods[km], 'prop.' + keyMethods[km]);
  // Eases cross as [speed, influence] pairs; what is not a KeyframeEase crosses as null.
  function easePairs(list) {
    if (!(list instanceof Array)) return list;
    var out = [];
    for (var i = 0; i < list.length; i++)
      out[i] = list[i] instanceof KeyframeEase ? [list[i].speed, list[i].influence] : null;
    return out;
  }
  def(P, 'setTemporalEaseAtKey', {
    value: function (keyIndex, inEase, outEase) {
      op('prop.setTemporalEaseAtKey', this._h, keyIndex, easePairs(inEase),
         arguments.length > 2 ? easePairs(outEase) : undefined);
    },
    writable: true, configurable: true
  });
  var easeGetters = ['keyInTemporalEase', 'keyOutTemporalEase'];
  for (var eg = 0; eg < easeGetters.length; eg++)
    (function (name) {
      def(P, name, {
        value: function (keyIndex) {
          var pairs = op('prop.' + name, this._h, keyIndex);
          for (var i = 0; i < pairs.length; i++) pairs[i] = ease(pairs[i]);
          return pairs;
        },
        writable: true, configurable: true
      });
    })(easeGetters[eg]);
  // Every layer class (Layer), then the AV layers' own (AVLayer) and the classes below.
  attr(LY, 'name', 'node.name', 'layer.name=');
  attrs(LY, 'layer.', ['index', 'active', 'nullLayer', 'time', 'hasVideo', 'isNameSet']);
  var writables = ['selected', 'enabled', 'solo', 'shy', 'locked', 'inPoint', 'outPoint',
                   'startTime', 'stretch', 'label', 'comment', 'autoOrient'];
  for (var s = 0; s < writables.length; s++)
    attr(LY, writables[s], 'layer.' + writables[s], 'layer.' + writables[s] + '=');
  var avWritables = ['effectsActive', 'adjustmentLayer', 'guideLayer', 'threeDLayer',
                     'motionBlur', 'collapseTransformation', 'preserveTransparency',
                     'timeRemapEnabled', 'audioEnabled', 'environmentLayer', 'threeDPerChar',
                     'quality', 'blendingMode', 'trackMatteType',
                     'frameBlendingType', 'samplingQuality'];
  for (var aw = 0; aw < avWritables.length; aw++)
    attr(L, avWritables[aw], 'layer.' + avWritables[aw], 'layer.' + avWritables[aw] + '=');
  attrs(L, 'layer.', ['hasAudio', 'audioActive', 'isNameFromSource', 'hasTrackMatte',
                      'isTrackMatte', 'width', 'height', 'frameBlending']);
  attr(L, 'source', 'layer.source', null, ONE);
  attr(LightLayer.prototype, 'lightType', 'layer.lightType', 'layer.lightType=');
  attr(LY, 'containingComp', 'layer.containingComp', null, ONE);
  attr(LY, 'selectedProperties', 'layer.selectedProperties', null, ALL);
  // A parent crosses as its handle, null as null, anything else as false (refused).
  def(LY, 'parent', {
    get: function () { return wrap(op('layer.parent', this._h)); },
    set: function (v) {
      op('layer.parent=', this._h, v instanceof Layer ? v._h : v === null ? v : false);
    },
    configurable: true
  });
  def(LY, 'setParentWithJump', {
    value: function (v) {
      op('layer.setParentWithJump', this._h, v instanceof Layer ? v._h : v === undefined ? v
                                                                     : v === null ? v : false);
    },
    writable: true, configurable: true
  });
  method(LY, 'activeAtTime', 'layer.activeAtTime');
  method(LY, 'duplicate', 'layer.duplicate', ONE);
  def(LY, 'copyToComp', {
    value: function (comp) {
      op('layer.copyToComp', this._h, comp instanceof CompItem ? comp._h : null);
    },
    writable: true, configurable: true
  });
  shortcut(TextLayer.prototype, 'text', 'ADBE Text Properties');
  def(TextLayer.prototype, 'sourceText', {
    get: function () {
      return this.property('ADBE Text Properties').property('ADBE Text Document');
    },
    configurable: true
  });
  shortcut(G, 'sourceText', 'ADBE Text Document');
  shortcut(G, 'pathOption', 'ADBE Text Path Options');
  shortcut(G, 'moreOption', 'ADBE Text More Options');
  shortcut(G, 'groupingAlignment', 'ADBE Text Anchor Point Align');
  method(LY, 'remove', 'layer.remove');
  method(LY, 'moveToBeginning', 'layer.moveToBeginning');
  method(LY, 'moveToEnd', 'layer.moveToEnd');
  // A target layer crosses as its handle; anything else as null, which the host refuses.
  var moves = ['moveBefore', 'moveAfter'];
  for (var mv = 0; mv < moves.length; mv++)
    (function (name) {
      def(LY, name, {
        value: function (target) {
          op('layer.' + name, this._h, target instanceof Layer ? target._h : null);
        },
        writable: true, configurable: true
      });
    })(moves[mv]);

  // ---- Layer space: the transform's and the camera's and light's option groups' members,
  // track mattes, time remapping, the source, separated dimensions ----
  // A named group's member: the child of that match name, else of that intercap name (an
  // effect's own "color" parameter stays reachable).
  function groupMember(proto, name, matchName) {
    def(proto, name, {
      get: function () {
        // On a prototype (a class below PropertyGroup with a member of that name, such as a
        // mask's color) the member is that class's, which the model lacks.
        if (this._h === undefined) throw notModelled(name);
        var p = this.property(matchName);
        return p === null ? this.property(name) : p;
      },
      set: function () {
        if (this._h === undefined) throw notModelled(name);
        throw new Error('Unable to set "' + name + '". It is read-only.');
      },
      configurable: true
    });
  }
  var groupMembers = {
    xPosition: 'ADBE Position_0', yPosition: 'ADBE Position_1', zPosition: 'ADBE Position_2',
    orientation: 'ADBE Orientation', xRotation: 'ADBE Rotate X', yRotation: 'ADBE Rotate Y',
    pointOfInterest: 'Point of Interest', zoom: 'ADBE Camera Zoom',
    depthOfField: 'ADBE Camera Depth of Field', focusDistance: 'ADBE Camera Focus Distance',
    aperture: 'ADBE Camera Aperture', blurLevel: 'ADBE Camera Blur Level',
    irisShape: 'ADBE Iris Shape', irisRotation: 'ADBE Iris Rotation',
    irisRoundness: 'ADBE Iris Roundness', irisAspectRatio: 'ADBE Iris Aspect Ratio',
    irisDiffractionFringe: 'ADBE Iris Diffraction Fringe',
    highlightGain: 'ADBE Iris Highlight Gain', highlightThreshold: 'ADBE Iris Highlight Threshold',
    highlightSaturation: 'ADBE Iris Hightlight Saturation', intensity: 'ADBE Light Intensity',
    color: 'ADBE Light Color', coneAngle: 'ADBE Light Cone Angle',
    coneFeather: 'ADBE Light Cone Feather 2', falloff: 'ADBE Light Falloff Type',
    radius: 'ADBE Light Falloff Start', falloffDistance: 'ADBE Light Falloff Distance',
    castsShadows: 'ADBE Casts Shadows', shadowDarkness: 'ADBE Light Shadow Darkness',
    shadowDiffusion: 'ADBE Light Shadow Diffusion', lightTransmission: 'ADBE Light Transmission',
    acceptsShadows: 'ADBE Accepts Shadows', acceptsLights: 'ADBE Accepts Lights',
    appearsInReflections: 'ADBE Appears in Reflections', ambient: 'ADBE Ambient Coefficient',
    diffuse: 'ADBE Diffuse Coefficient', specularIntensity: 'ADBE Specular Coefficient',
    specularShininess: 'ADBE Shininess Coefficient', metal: 'ADBE Metal Coefficient',
    reflectionIntensity: 'ADBE Reflection Coefficient',
    reflectionSharpness: 'ADBE Glossiness Coefficient',
    reflectionRolloff: 'ADBE Fresnel Coefficient', transparency: 'ADBE Transparency Coefficient',
    transparencyRolloff: 'ADBE Transp Rolloff', indexOfRefraction: 'ADBE Index of Refraction'
  };
  for (var gm in groupMembers) groupMember(G, gm, groupMembers[gm]);
  shortcut(CameraLayer.prototype, 'cameraOption', 'ADBE Camera Options Group');
  shortcut(LightLayer.prototype, 'lightOption', 'ADBE Light Options Group');
  shortcut(L, 'materialOption', 'ADBE Material Options Group');
  // A layer crosses as its handle, null as null, anything else as false (refused).
  function layerArg(v) { return v instanceof Layer ? v._h : v === null ? v : false; }
  def(LightLayer.prototype, 'lightSource', {
    get: function () { return wrap(op('layer.lightSource', this._h)); },
    set: function (v) { op('layer.lightSource=', this._h, layerArg(v)); },
    configurable: true
  });
  shortcut(L, 'timeRemap', 'ADBE Time Remapping');
  attr(L, 'trackMatteLayer', 'layer.trackMatteLayer', null, ONE);
  attrs(L, 'layer.', ['canSetTimeRemapEnabled', 'canSetCollapseTransformation']);
  def(L, 'setTrackMatte', {
    value: function (layer, type) {
      op('layer.setTrackMatte', this._h, layerArg(layer), type);
    },
    writable: true, configurable: true
  });
  def(L, 'replaceSource', {
    value: function (item, fixExpressions) {
      op('layer.replaceSource', this._h, item instanceof Item ? item._h : null, fixExpressions);
    },
    writable: true, configurable: true
  });
  var layerSpaceMethods = ['removeTrackMatte', 'sourceRectAtTime', 'sourcePointToComp',
                           'compPointToSource', 'audioActiveAtTime'];
  for (var lsm = 0; lsm < layerSpaceMethods.length; lsm++)
    method(L, layerSpaceMethods[lsm], 'layer.' + layerSpaceMethods[lsm]);
  // Answered for a separation follower only (on the others the read and the write say the
  // model lacks them); read-only.
  def(P, 'separationDimension', {
    get: function () { return op('prop.separationDimension', this._h); },
    set: function () {
      op('prop.separationDimension', this._h);
      throw new Error('Unable to set "separationDimension". It is read-only.');
    },
    configurable: true
  });
  def(P, 'separationLeader', {
    get: function () { return wrap(op('prop.separationLeader', this._h)); },
    set: function () {
      op('prop.separationLeader', this._h);
      throw new Error('Unable to set "separationLeader". It is read-only.');
    },
    configurable: true
  });
  method(P, 'getSeparationFollower', 'prop.getSeparationFollower', ONE);

  // ---- TextDocument: a value whose record lives here; its rules are the host's (every read
  // and write passes the record to it) ----
  function textDoc(record) {
    var d = create(TextDocument.prototype);
    def(d, '_d', { value: record, writable: true });
    return d;
  }
  var TD = TextDocument.prototype;
  var docAttrs = ['text', 'font', 'fontSize', 'fillColor', 'strokeColor', 'applyFill',
                  'applyStroke', 'strokeOverFill', 'strokeWidth', 'justification', 'tracking',
                  'leading', 'autoLeading', 'baselineShift', 'fauxBold', 'fauxItalic', 'allCaps',
                  'smallCaps', 'boxText', 'boxTextSize', 'pointText',
                  // the character, paragraph and box settings, and what is read from the text
                  'kerning', 'autoKernType', 'baselineDirection', 'digitSet',
                  'fontBaselineOption', 'fontCapsOption', 'lineJoinType', 'ligatures', 'noBreak',
                  'horizontalScale', 'verticalScale', 'tsume', 'superscript', 'subscript',
                  'autoHyphenate', 'everyLineComposer', 'hangingRoman', 'composerEngine',
                  'direction', 'leadingType', 'startIndent', 'endIndent', 'firstLineIndent',
                  'spaceBefore', 'spaceAfter', 'boxAutoFitPolicy', 'boxFirstBaselineAlignment',
                  'boxFirstBaselineAlignmentMinimum', 'boxInsetSpacing', 'boxVerticalAlignment',
                  'lineOrientation', 'paragraphCount', 'composedLineCount', 'boxOverflow'];
  for (var da = 0; da < docAttrs.length; da++)
    (function (name) {
      def(TD, name, {
        get: function () { return op('textdoc.get', 0, this._d, name); },
        set: function (v) {
          if (name === 'pointText') throw new Error('Unable to set "pointText". It is read-only.');
          this._d = op('textdoc.set', 0, this._d, name, v);
        },
        configurable: true
      });
    })(docAttrs[da]);
  var indexesAt = ['paragraphCharacterIndexesAt', 'composedLineCharacterIndexesAt'];
  for (var ia = 0; ia < indexesAt.length; ia++)
    (function (name) {
      def(TD, name, {
        value: function (index) { return op('textdoc.indexesAt', 0, this._d, name, index); },
        writable: true, configurable: true
      });
    })(indexesAt[ia]);
  def(TD, 'resetCharStyle', {
    value: function () { this._d = op('textdoc.resetCharStyle', 0, this._d); },
    writable: true, configurable: true
  });
  def(TD, 'resetParagraphStyle', {
    value: function () { this._d = op('textdoc.resetParagraphStyle', 0, this._d); },
    writable: true, configurable: true
  });
  var ST = SourceText.prototype;
  def(ST, 'value', { get: function () { return textDoc(op('sourcetext.value', this._h)); },
                     configurable: true });
  def(ST, 'valueAtTime', {
    value: function () { return textDoc(op('sourcetext.value', this._h)); },
    writable: true, configurable: true
  });
  def(ST, 'setValue', {
    value: function (v) {
      op('sourcetext.setValue', this._h,
         typeof v === 'string' ? v : v instanceof TextDocument ? v._d : null);
    },
    writable: true, configurable: true
  });
  // Keys of source text are not modelled: these say so rather than key a number.
  var sourceTextKeys = ['setValueAtTime', 'setValuesAtTimes', 'setValueAtKey', 'addKey',
                        'keyValue'];
  for (var sk = 0; sk < sourceTextKeys.length; sk++)
    (function (name) {
      def(ST, name, { value: function () { throw notModelled(name); }, writable: true,
                      configurable: true });
    })(sourceTextKeys[sk]);
  // ---- markers ----
  // layer.marker and layer.property('Marker'): the layer's marker property.
  var Y = Layer.prototype, groupProperty = G.property;
  computed(Y, 'marker', function () {
    op('marker.numKeys', this._h);  // an invalid layer says so
    return wrap(['m', this._h]);
  });
  def(Y, 'property', {
    value: function (x) {
      if (x === 'Marker' || x === 'ADBE Marker' || x === 'marker') return this.marker;
      return reflectApply(groupProperty, this, arguments);
    },
    writable: true, configurable: true
  });
  function markerValue(record) {
    var m = create(MarkerValue.prototype);
    def(m, '_v', { value: record });
    return m;
  }
  var MV = MarkerValue.prototype, markerFields = ['comment', 'chapter', 'url', 'frameTarget',
      'cuePointName', 'duration', 'eventCuePoint', 'label', 'protectedRegion'];
  for (var mf = 0; mf < markerFields.length; mf++)
    (function (name) {
      def(MV, name, {
        get: function () {
          if (!this._v) throw notModelled(name);
          return this._v[name];
        },
        set: function (v) {
          if (!this._v) throw notModelled(name);
          this._v[name] = op('markerValue.check', 0, name, v);
        },
        configurable: true
      });
    })(markerFields[mf]);
  def(MV, 'getParameters', {
    value: function () {
      var out = {}, params = this._v.params;
      for (var k in params) if (reflectApply(hasOwn, params, [k])) out[k] = params[k];
      return out;
    },
    writable: true, configurable: true
  });
  // Every attribute's text, by its own toString, as the host takes them.
  def(MV, 'setParameters', {
    value: function (pairs) {
      var rec = pairs;
      if (typeof pairs === 'object' && pairs !== null) {
        rec = {};
        for (var k in pairs) if (reflectApply(hasOwn, pairs, [k])) rec[k] = String(pairs[k]);
      }
      this._v.params = op('markerValue.setParameters', 0, rec);
    },
    writable: true, configurable: true
  });
  var MP = MarkerProperty;
  computed(MP, 'name', function () { op('marker.numKeys', this._h); return 'Marker'; });
  computed(MP, 'matchName', function () { op('marker.numKeys', this._h); return 'ADBE Marker'; });
  attr(MP, 'parentProperty', 'marker.parentProperty', null, ONE);
  attrs(MP, 'marker.', ['propertyDepth', 'numKeys', 'isTimeVarying', 'selectedKeys']);
  var constants = { isEffect: false, isMask: false, hasMin: false, hasMax: false,
                    canVaryOverTime: true, canSetExpression: false };
  for (var cn0 in constants)
    (function (v) { computed(MP, cn0, function () { op('marker.numKeys', this._h); return v; }); })(
        constants[cn0]);
  var markerMethods = ['keyTime', 'removeKey', 'nearestKeyIndex', 'addKey', 'keySelected',
                       'setSelectedAtKey'];
  for (var mm = 0; mm < markerMethods.length; mm++)
    method(MP, markerMethods[mm], 'marker.' + markerMethods[mm]);
  def(MP, 'keyValue', {
    value: function (x) { return markerValue(op('marker.keyValue', this._h, x)); },
    writable: true, configurable: true
  });
  def(MP, 'valueAtTime', {
    value: function (t) { return markerValue(op('marker.valueAtTime', this._h, t)); },
    writable: true, configurable: true
  });
  computed(MP, 'value', function () { return markerValue(op('marker.value', this._h)); });
  // A MarkerValue crosses as its record; anything else as itself, which the host refuses.
  def(MP, 'setValueAtTime', {
    value: function (t, v) {
      op('marker.setValueAtTime', this._h, t, v instanceof MarkerValue ? v._v : v);
    },
    writable: true, configurable: true
  });

  // ---- masks, their paths' Shape values, and the rest of PropertyBase ----
  // A Shape is a value whose record lives here: every attribute the script writes is checked
  // by the host (type and range), and the whole record again when a property takes it.
  var Shape = cls('Shape', null, false, function () {
    if (!(this instanceof Shape)) return new Shape();
    def(this, '_s', { value: op('shape.new', 0), writable: true });
  });
  function shapeOf(record) {
    var o = create(Shape.prototype);
    def(o, '_s', { value: record, writable: true });
    return o;
  }
  var SH = Shape.prototype, shapeAttrs = ['vertices', 'inTangents', 'outTangents', 'closed',
      'featherSegLocs', 'featherRelSegLocs', 'featherRadii', 'featherInterps', 'featherTensions',
      'featherTypes', 'featherRelCornerAngles'];
  for (var sa = 0; sa < shapeAttrs.length; sa++)
    (function (name) {
      def(SH, name, {
        get: function () { return op('shape.check', 0, name, this._s[name]); },
        set: function (v) { this._s[name] = op('shape.check', 0, name, v); },
        configurable: true
      });
    })(shapeAttrs[sa]);
  // A mask ("a") is a callable MaskPropertyGroup; its path ("b") a Property whose value is a
  // Shape.
  var MaskPropertyGroup = cls('MaskPropertyGroup', PropertyGroup),
      ShapePath = { prototype: create(Property.prototype) };
  kinds.a = MaskPropertyGroup;
  callable.a = true;
  kinds.b = ShapePath;
  var MG = MaskPropertyGroup.prototype;
  named(MG, 'mask.attribute', ['maskMode', 'inverted', 'rotoBezier', 'maskMotionBlur', 'locked',
                               'color', 'maskFeatherFalloff']);
  shortcut(MG, 'maskShape', 'ADBE Mask Shape');
  shortcut(MG, 'maskPath', 'ADBE Mask Shape');
  shortcut(MG, 'maskFeather', 'ADBE Mask Feather');
  shortcut(MG, 'maskOpacity', 'ADBE Mask Opacity');
  shortcut(MG, 'maskExpansion', 'ADBE Mask Offset');
  shortcut(L, 'mask', 'ADBE Mask Parade');
  var SP = ShapePath.prototype, SHAPE = 0, pvt = list.enums.PropertyValueType;
  for (var pv = 0; pv < pvt.length; pv++) if (pvt[pv].name === 'SHAPE') SHAPE = pvt[pv].value;
  def(SP, 'propertyValueType', { get: function () { op('prop.numKeys', this._h); return SHAPE; },
                                 configurable: true });
  def(SP, 'value', { get: function () { return shapeOf(op('shapeprop.value', this._h)); },
                     configurable: true });
  // A Shape crosses as its record; anything else as null, which the host refuses.
  function shapeArg(v) { return v instanceof Shape ? v._s : null; }
  var shapeMethods = {
    valueAtTime: function (t) { return shapeOf(op('shapeprop.valueAtTime', this._h, t)); },
    keyValue: function (i) { return shapeOf(op('shapeprop.keyValue', this._h, i)); },
    setValue: function (v) { op('shapeprop.setValue', this._h, shapeArg(v)); },
    setValueAtTime: function (t, v) { op('shapeprop.setValueAtTime', this._h, t, shapeArg(v)); },
    setValueAtKey: function (i, v) { op('shapeprop.setValueAtKey', this._h, i, shapeArg(v)); },
    setValuesAtTimes: function () { throw notModelled('setValuesAtTimes'); }
  };
  for (var smn in shapeMethods)
    def(SP, smn, { value: shapeMethods[smn], writable: true, configurable: true });
  attrs(B, 'node.', ['isMask', 'elided', 'active']);
  method(B, 'moveTo', 'node.moveTo');
  method(B, 'propertyGroup', 'node.propertyGroup', ONE);
  method(B, 'duplicate', 'node.duplicate', ONE);
  method(P, 'remove', 'node.remove');

  // ---- the project, the viewer and the application ----
  var project = create(Project.prototype);
  protos.push([project, 'Project']);
  attr(project, 'numItems', 'project.numItems');
  computed(project, 'rootFolder', function () { return wrap(['d', 0]); });
  computed(project, 'file', function () { return null; });
  attr(project, 'dirty', 'project.dirty');
  named(project, 'project.setting', ['bitsPerChannel', 'timeDisplayType', 'framesCountType',
                                     'displayStartFrame', 'feetFramesFilmType',
                                     'footageTimecodeDisplayStartType', 'gpuAccelType',
                                     'framesUseFeetFrames', 'transparencyGridThumbnails',
                                     'linearBlending', 'linearizeWorkingSpace',
                                     'compensateForSceneReferredProfiles', 'workingGamma',
                                     'workingSpace', 'expressionEngine']);
  def(project, 'listColorProfiles', {
    value: function () { return op('project.listColorProfiles', 0); },
    writable: true, configurable: true
  });
  attr(project, 'activeItem', 'project.activeItem', null, ONE);
  attr(project, 'selection', 'project.selection', null, ALL);
  method(project, 'item', 'project.item', ONE);
  method(project, 'itemByID', 'project.itemByID', ONE);
  def(project, 'items', {
    configurable: true,
    get: function () { return itemCollection(op('project.items', 0), 0); }
  });
  method(ItemCollection.prototype, 'addComp', 'project.addComp', ONE);
  method(ItemCollection.prototype, 'addFolder', 'project.addFolder', ONE);
  // ---- import: ImportOptions, a file (PNG and JPEG stills read), a placeholder; the dialog
  // never opens, so it answers as cancelled ----
  // ImportAsType, with the values of the host's type definitions (the member list lacks it).
  var AS_FOOTAGE = 3813;
  def(global, 'ImportAsType', {
    value: freeze({ COMP: 3814, COMP_CROPPED_LAYERS: 3812, FOOTAGE: AS_FOOTAGE, PROJECT: 3815 }),
    writable: true, configurable: true
  });
  var ImportOptions = cls('ImportOptions', null, false, function (file) {
    var o = this instanceof ImportOptions ? this : create(ImportOptions.prototype);
    o.importAs = AS_FOOTAGE;
    o.sequence = false;
    o.forceAlphabetical = false;
    o.file = file;
    return o;
  });
  def(ImportOptions.prototype, 'canImportAs', {
    value: function (type) {
      if (type !== AS_FOOTAGE) return false;
      try { probe(this.file, 'canImportAs', this.sequence); } catch (e) { return false; }
      return true;
    },
    writable: true, configurable: true
  });
  def(project, 'importFile', {
    value: function (o) {
      if (!(o instanceof ImportOptions))
        throw new NativeError('Unable to call "importFile" because of parameter 1. Value is not an ImportOptions.');
      if (o.importAs !== AS_FOOTAGE)
        throw notModelled('importFile');
      return wrap(op('project.importFile', 0, probe(o.file, 'importFile', o.sequence)));
    },
    writable: true, configurable: true
  });
  method(project, 'importPlaceholder', 'project.importPlaceholder', ONE);
  def(project, 'importFileWithDialog', { value: function () { return null; }, writable: true,
                                         configurable: true });
  // The enumerations with the host's values, as its type definitions give them.
  for (var en in list.enums) {
    var values = {};
    for (var ev = 0; ev < list.enums[en].length; ev++)
      values[list.enums[en][ev].name] = list.enums[en][ev].value;
    def(global, en, { value: freeze(values), writable: true, configurable: true });
  }
  var textDocumentType = global.PropertyValueType.TEXT_DOCUMENT;
  def(SourceText.prototype, 'propertyValueType', { get: function () { return textDocumentType; },
                                                   configurable: true });
  var MARKER = global.PropertyValueType.MARKER, PROPERTY = global.PropertyType.PROPERTY;
  computed(MarkerProperty, 'propertyValueType',
           function () { op('marker.numKeys', this._h); return MARKER; });
  computed(MarkerProperty, 'propertyType',
           function () { op('marker.numKeys', this._h); return PROPERTY; });
  var ViewerType = global.ViewerType;
  def(Viewer.prototype, 'type', { value: ViewerType.VIEWER_COMPOSITION, configurable: true });
  attr(Viewer.prototype, 'active', 'viewer.active');
  method(Viewer.prototype, 'setActive', 'viewer.setActive');

  var effects = cb.effects();
  for (var e = 0; e < effects.length; e++) freeze(effects[e]);
  freeze(effects);
  var app = create(Application.prototype);
  protos.push([app, 'Application']);
  def(app, 'effects', { value: effects, enumerable: true, configurable: true });
  def(app, 'project', { value: project, enumerable: true, configurable: true });
  def(app, 'isoLanguage', { get: function () { return cb.language(); }, enumerable: true,
                           configurable: true });
  def(app, 'version', { get: function () { return cb.version(); }, enumerable: true,
                       configurable: true });
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

  // ---- the viewer's views and their options; the application's and project's stored values,
  // layers by id, the team projects (none open, none enabled) ----
  var View = cls('View', null, false, refused('View')),
      ViewOptions = cls('ViewOptions', null, false, refused('ViewOptions'));
  function indexed(proto, i) {
    var o = create(proto);
    def(o, '_h', { value: i });
    return o;
  }
  computed(Viewer.prototype, 'views', function () {
    var n = op('viewer.views', this._h), out = [];
    for (var i = 0; i < n; i++) out[i] = indexed(View.prototype, i);
    return out;
  });
  attr(Viewer.prototype, 'activeViewIndex', 'viewer.activeViewIndex', 'viewer.activeViewIndex=');
  attr(Viewer.prototype, 'maximized', 'viewer.maximized', 'viewer.maximized=');
  attr(View.prototype, 'active', 'view.active');
  method(View.prototype, 'setActive', 'view.setActive');
  computed(View.prototype, 'options', function () {
    op('view.active', this._h);  // a view of a closed viewer is invalid
    return indexed(ViewOptions.prototype, this._h);
  });
  named(ViewOptions.prototype, 'view.option', ['channels', 'checkerboards', 'exposure',
                                               'fastPreview', 'guidesLocked', 'guidesSnap',
                                               'guidesVisibility', 'rulers', 'zoom']);
  computed(app, 'language', function () { return op('app.language', 0, cb.language()); });
  function appCall(name, opName) {
    def(app, name, {
      value: function () { return opList(opName, 0, arguments); },
      writable: true, configurable: true
    });
  }
  appCall('activate', 'app.activate');
  appCall('purge', 'app.purge');
  appCall('beginSuppressDialogs', 'app.beginSuppressDialogs');
  appCall('endSuppressDialogs', 'app.endSuppressDialogs');
  appCall('setSavePreferencesOnQuit', 'app.setSavePreferencesOnQuit');
  appCall('setMemoryUsageLimits', 'app.setMemoryUsageLimits');
  appCall('setMultiFrameRenderingConfig', 'app.setMultiFrameRenderingConfig');
  appCall('getenv', '$.getenv');
  named(project, 'app.setting', ['toolType', 'xmpPacket']);
  computed(Layer.prototype, 'id', function () { return op('layer.id', this._h); });
  method(project, 'layerByID', 'project.layerByID', ONE);
  method(project, 'removeUnusedFootage', 'project.removeUnusedFootage');
  def(project, 'reduceProject', {
    value: function (items) {
      var ids = [];
      if (!(items instanceof Array)) ids = null;
      for (var i = 0; ids && i < items.length; i++)
        if (items[i] instanceof Item) ids[i] = items[i]._h; else ids = null;
      return op('project.reduceProject', 0, ids);
    },
    writable: true, configurable: true
  });
  function teamAnswer(name, value, needsName) {
    def(project, name, {
      value: function (teamProject) {
        if (needsName && typeof teamProject !== 'string')
          throw new NativeError('Unable to call "' + name +
                                '" because of parameter 1. Value is not a string.');
        return value === null ? [] : value;
      },
      writable: true, configurable: true
    });
  }
  teamAnswer('isTeamProjectEnabled', false);
  teamAnswer('isLoggedInToTeamProject', false);
  teamAnswer('isAnyTeamProjectOpen', false);
  teamAnswer('isTeamProjectOpen', false, true);
  teamAnswer('listTeamProjects', null);
  teamAnswer('isShareCommandEnabled', false);
  teamAnswer('isSyncCommandEnabled', false);
  teamAnswer('isResolveCommandEnabled', false);

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
  // A marker property answers for the Property members it has; the others are not modelled.
  var propertyMembers = list.classes.Property.members.concat(list.classes.PropertyBase.members);
  for (var pm = 0; pm < propertyMembers.length; pm++)
    if (!reflectApply(hasOwn, MP, [propertyMembers[pm].name]))
      (function (name, isMethod) {
        var fail = function () { throw notModelled(name); };
        def(MP, name, isMethod ? { get: function () { return stubMethod(name); }, set: fail,
                                   configurable: true }
                               : { get: fail, set: fail, configurable: true });
      })(propertyMembers[pm].name, propertyMembers[pm].kind === 'method');
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
    if (app.activeViewer) live.View = app.activeViewer.views[0];
    if (live.View) live.ViewOptions = live.View.options;
    live.KeyframeEase = new KeyframeEase(0, 50);
    // The layer classes and a TextDocument: on layers of a composition made for the report
    // (it runs on a host of its own), a box text with a stroke so that every attribute reads.
    var scratch = items.addComp('Member report', 100, 100, 1, 1, 25).layers;
    var box = scratch.addBoxText([50, 50], 'Report'), doc = box.sourceText.value;
    doc.strokeColor = [0, 0, 0];
    box.sourceText.setValue(doc);
    live.TextLayer = box;
    live.TextDocument = box.sourceText.value;
    live.ShapeLayer = scratch.addShape();
    live.CameraLayer = scratch.addCamera('Camera', [50, 50]);
    live.LightLayer = scratch.addLight('Light', [50, 50]);
    live.MarkerValue = new MarkerValue('');
    live.MaskPropertyGroup = box.mask.addProperty('Mask');
    live.Shape = new Shape();
    for (var si = 1; si <= items.length; si++)
      if (items[si] instanceof FootageItem) {
        var src = items[si].mainSource, sk = src instanceof SolidSource ? 'SolidSource' : 'FileSource';
        if (!live[sk]) live[sk] = src;
      }
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
    // The composed lines are the model's for point text only: what the box text left not
    // modelled is asked again of a point text.
    var pointDoc = scratch.addText('Report').sourceText.value, tdMembers = [],
        tdAll = list.classes.TextDocument.members;
    for (var ti = 0; ti < tdAll.length; ti++)
      if (status.TextDocument[tdAll[ti].name] === 'not-modelled')
        tdMembers[tdMembers.length] = tdAll[ti];
    answer('TextDocument', pointDoc, tdMembers);
    // Named groups are read on live groups where the model has them; the others (layer
    // styles, audio, ...) cannot be reached, since the layer attributes leading to them are not
    // modelled, so none of their members counts as modelled (the transform shortcuts every
    // group has, such as opacity, would answer there).
    var liveGroups = { _TransformGroup: live.PropertyGroup, _TextProperties: box.text,
                       _TextPathOptions: box.text.pathOption,
                       _TextMoreOptions: box.text.moreOption,
                       _CameraOptionsGroup: live.CameraLayer.cameraOption,
                       _LightOptionsGroup: live.LightLayer.lightOption,
                       _MaterialOptionsGroup: live.AVLayer && live.AVLayer.materialOption };
    for (var gn2 in list.groups)
      if (live.PropertyGroup)
        answer(gn2, liveGroups[gn2] || live.PropertyGroup, list.groups[gn2].members,
               !liveGroups[gn2]);
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

  // A member of the host's that the model can only read never takes a write silently: the
  // host's read-only wording, or "not modelled" where the host lets a script write it.
  var ownDescriptor = Object.getOwnPropertyDescriptor;
  function refuseWrites(target, classes) {
    for (var i = 0; i < classes.length; i++)
      for (var j = 0; j < classes[i].members.length; j++) {
        var name = classes[i].members[j].name, d = ownDescriptor(target, name);
        if (!d || d.set || (!d.get && d.writable) || !d.configurable) continue;
        (function (name, get, value, hostWrites) {
          def(target, name, {
            get: get || function () { return value; },
            set: function () {
              if (hostWrites) throw notModelled(name);
              throw new Error('Unable to set "' + name + '". It is read-only.');
            },
            enumerable: d.enumerable, configurable: true
          });
        })(name, d.get, d.value, classes[i].members[j].kind === 'attribute');
      }
  }
  for (var rw = 0; rw < protos.length; rw++) refuseWrites(protos[rw][0], lineage(protos[rw][0]));

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
