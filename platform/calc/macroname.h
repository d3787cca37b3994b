#pragma once

#include <QString>

#include <optional>

// A macro name as the capture stop passes it: "Tidy", "Module1.Tidy", "Standard.Module1.Tidy",
// each optionally qualified by the file name of the workbook that holds it ("Book.xls!Tidy").
// A "!" at the very start qualifies nothing: the whole text is the macro's name.
struct MacroName {
    QString book;    // empty: not qualified
    QString library; // empty: any library
    QString module;  // empty: any module
    QString macro;

    // No value when the text names no macro (an empty part, too many parts).
    static std::optional<MacroName> parse(const QString& text);
};
