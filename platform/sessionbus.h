// The desktop's session bus, which the toolkit asks for (its accessibility bridge, input
// methods, desktop services). Where the environment names none, the D-Bus library would start
// a bus of its own (dbus-launch and a dbus-daemon) that goes on running after the program ends.
#pragma once

// When no session bus is named and the user has none at its standard place
// ($XDG_RUNTIME_DIR/bus, which the library finds by itself), names the "disabled:" address, which
// the library cannot reach and does not launch a bus for. A named bus is left as it is. Call
// before the application object is made; the programs the program starts inherit the setting.
void keepSessionBusFromBeingLaunched();
