// What the dialogs (options, bookmark editor, web list editor, About box)
// need of the main window, without depending on the shell. The main window
// registers itself at construction; tests register a fake.
#pragma once

#include <string>

class QWidget;

namespace orvex {

class MainLink {
public:
    virtual ~MainLink() = default;
    virtual std::string AppDir() const = 0;             // data folder with trailing "/"
    virtual QWidget *Window() = 0;                      // owner for dialogs
    virtual void SetGeckoItemEnabled(bool enabled) = 0; // the "Gekko" engine item
    virtual void ApplyTabWidth(int width) = 0;          // fixed tab width in pixels
    virtual void ApplyTabType(int tabType) = 0;         // 0: tabs at the bottom; else buttons at the top
    virtual void BuildBookmarkMenu() = 0;
    virtual void BuildBookmarkBar() = 0;
    virtual void EnumFiles(const std::string &folder) = 0; // rebuilds the web list menu
};

MainLink *Main(); // nullptr before the main window exists
void SetMainLink(MainLink *link);

} // namespace orvex
