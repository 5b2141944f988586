// Tells the keyboard driver what GNOME Shell knows and a Wayland client may not: the windows and
// their applications, the window in front, and the input sources. The driver listens on the
// session bus; this extension owns com.kettlewood.Brevona.GnomeShell there while it is enabled.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';

import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
import * as Keyboard from 'resource:///org/gnome/shell/ui/status/keyboard.js';

const BUS_NAME = 'com.kettlewood.Brevona.GnomeShell';
const OBJECT_PATH = '/com/kettlewood/Brevona/GnomeShell';
const INTERFACE = `
<node>
  <interface name="com.kettlewood.Brevona.GnomeShell">
    <method name="GetWindows">
      <arg type="a(sssi)" direction="out" name="windows"/>
      <arg type="s" direction="out" name="focused"/>
    </method>
    <method name="GetInputSources">
      <arg type="as" direction="out" name="layouts"/>
      <arg type="i" direction="out" name="current"/>
    </method>
    <signal name="WindowOpened">
      <arg type="s" name="id"/><arg type="s" name="appId"/><arg type="s" name="wmClass"/><arg type="i" name="pid"/>
    </signal>
    <signal name="WindowClosed"><arg type="s" name="id"/></signal>
    <signal name="FocusChanged"><arg type="s" name="id"/></signal>
    <signal name="InputSourcesChanged"/>
  </interface>
</node>`;

export default class BrevonaExtension extends Extension {
    enable() {
        this._tracker = Shell.WindowTracker.get_default();
        this._sources = Keyboard.getInputSourceManager();
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._owner = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._handlers = [];
        this._windowHandlers = new Map();
        this._listen(global.display, 'window-created', (_display, window) => this._opened(window, true));
        this._listen(global.display, 'notify::focus-window', () =>
            this._object.emit_signal('FocusChanged', new GLib.Variant('(s)', [this._focusedId()])));
        this._listen(this._sources, 'current-source-changed', () => this._sourcesChanged());
        this._listen(this._sources, 'sources-changed', () => this._sourcesChanged());
        for (const window of this._windows())
            this._opened(window, false);
    }

    disable() {
        for (const [object, id] of this._handlers)
            object.disconnect(id);
        for (const [window, id] of this._windowHandlers)
            window.disconnect(id);
        this._handlers = [];
        this._windowHandlers.clear();
        this._object.unexport();
        this._object = null;
        Gio.bus_unown_name(this._owner);
        this._tracker = null;
        this._sources = null;
    }

    GetWindows() {
        return [this._windows().map(window => this._describe(window)), this._focusedId()];
    }

    GetInputSources() {
        const sources = Object.values(this._sources.inputSources).sort((a, b) => a.index - b.index);
        // XKB sources as XKB names ("de+nodeadkeys"); others (input methods) by type and id.
        const layouts = sources.map(source => source.type === 'xkb' ? source.id : `${source.type}:${source.id}`);
        const current = this._sources.currentSource ? this._sources.currentSource.index : -1;
        return [layouts, current];
    }

    _listen(object, signal, handler) {
        this._handlers.push([object, object.connect(signal, handler)]);
    }

    _counts(window) {
        if (!window || window.is_skip_taskbar())
            return false;
        const type = window.get_window_type();
        return type === Meta.WindowType.NORMAL || type === Meta.WindowType.DIALOG;
    }

    _windows() {
        return global.get_window_actors().map(actor => actor.meta_window).filter(window => this._counts(window));
    }

    _id(window) {
        return String(window.get_id());
    }

    _describe(window) {
        const app = this._tracker.get_window_app(window);
        const appId = app && app.get_id() ? app.get_id().replace(/\.desktop$/, '') : '';
        return [this._id(window), appId, window.get_wm_class() || '', window.get_pid()];
    }

    _focusedId() {
        const window = global.display.focus_window;
        return this._counts(window) ? this._id(window) : '';
    }

    _opened(window, announce) {
        if (!this._counts(window) || this._windowHandlers.has(window))
            return;
        this._windowHandlers.set(window, window.connect('unmanaged', () => {
            this._windowHandlers.delete(window);
            this._object?.emit_signal('WindowClosed', new GLib.Variant('(s)', [this._id(window)]));
        }));
        if (announce)
            this._object.emit_signal('WindowOpened', new GLib.Variant('(sssi)', this._describe(window)));
    }

    _sourcesChanged() {
        this._object.emit_signal('InputSourcesChanged', null);
    }
}
