#pragma once

#include "platform/application.h"
#include "platform/forms.h"
#include "raster/engine.h"

#include <functional>
#include <string>
#include <string_view>

// What the settings dialog, the about box and the installer share: the context their forms
// run in, the credit text, the program's icon and the show's logo drawn into an image
// control. It lives beside the engine that decodes the logo so that the dialogs and the
// installer, which stand side by side, can both use it.

namespace qv {

// The dialogs' part of the player context: the show record, the run state and a raster
// engine for the logo, and the application object that owns the forms and reports errors.
struct DialogContext : EngineContext {
    DialogContext(Platform& os, Application& app) : EngineContext(os), App(app) {}
    Application& App;
};

// The maker's web address, the last line of the credit text.
inline constexpr const char* kMakerWebAddress = "www.tarnwell.example";

// Where the credit text is shown: the installer puts one more line break before it.
enum class CreditPlace : uint8_t { AboutBox, Installer };

// The credit text that replaces ClientText for LogoKind 0, bars and all.
std::string CreditText(CreditPlace place);

// BarsToLineBreaks: every "|" becomes a carriage return; nothing else changes.
std::string BarsToLineBreaks(std::string_view text);

// The program's own icon, 32 x 32 pixels, drawn by code.
Surface ProgramIcon();
inline constexpr int32_t kIconSize = 32;

// LoadLogoImage: the show's logo picture (picture 0 of the table at LogoOffset) into the
// image control, shrunk to fit maxWidth x maxHeight with its proportions kept. A logo that
// cannot be read leaves the image empty. Returns whether the image got a picture.
bool LoadLogoImage(DialogContext& ctx, Form& form, std::string_view image, int32_t maxWidth,
                   int32_t maxHeight);

// The size LoadLogoImage gives a picture of width x height in a maxWidth x maxHeight box:
// only ever shrunk, first to the width, then to the height, divisions truncated.
Size FitLogo(Size picture, int32_t maxWidth, int32_t maxHeight);

// Runs an event handler as the GUI layer's message loop does: an error it raises is shown
// in a message box captioned with the application's title and the form stays as it was.
std::function<void()> Guarded(DialogContext& ctx, std::function<void()> handler);

} // namespace qv
