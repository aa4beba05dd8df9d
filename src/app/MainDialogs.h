#pragma once
// Creates the two modal dialogs of the main window — "Color mask generation"
// and "Color settings" — and connects them to its Fill click and its
// "Change color..." command. They live as long as the window and keep their
// control state between showings; F1 in them shows their help pages.

class TFormMain;
class TGrowPartDialog;
class TColourSettingsDialog;

struct TMainDialogs {
    TGrowPartDialog* FormSelection = nullptr;
    TColourSettingsDialog* FormColorSettings = nullptr;
};

TMainDialogs ConnectDialogs(TFormMain& form);
