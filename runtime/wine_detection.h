// Whether the program runs under Wine, whose controls need workarounds that Windows does not.
#pragma once

// True under Wine: its ntdll exports wine_get_version, Windows' does not.
bool RunsOnWine();
