#pragma once
// Reads KOMVAS.ini from the current directory and sets up one server and one link per section.
// Returns true when at least one PLC is configured. A bad section logs 213 and ends the step;
// the sections before it stay configured (the exit clean-up deletes them).
bool Configure();
