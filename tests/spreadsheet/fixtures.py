#!/usr/bin/python3
"""Spreadsheet test files made and read without the office; readxls: JSON [row, column, value]."""

import json
import sys
import zipfile
from datetime import datetime, timedelta
from pathlib import Path

import xlrd
from xml.sax.saxutils import escape

DOCUMENT_MACROS = """Sub Tidy
    ThisComponent.Sheets.getByIndex(0).getCellByPosition(9, 0).setString("tidied")
End Sub

Sub Fails
    Error 5
End Sub
"""

LIBRARY = 'xmlns:library="http://openoffice.org/2000/library"'
CONTAINER = (f'<library:libraries {LIBRARY} xmlns:xlink="http://www.w3.org/1999/xlink">'
             '<library:library library:name="Standard" library:link="false"/></library:libraries>')
MODULE = (f'<library:library {LIBRARY} library:name="Standard" library:readonly="false" '
          'library:passwordprotected="false"><library:element library:name="{0}"/></library:library>',
          '<script:module xmlns:script="http://openoffice.org/2000/script" script:name="{0}" '
          'script:language="StarBasic">{1}</script:module>')

CONTENT = """<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2">
 <office:body><office:spreadsheet><table:table table:name="Sheet1"/></office:spreadsheet></office:body>
</office:document-content>
"""

MANIFEST = """<?xml version="1.0" encoding="UTF-8"?>
<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">
 <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>
{entries}</manifest:manifest>
"""


def basic(module, source):
    """The container, library and module files of a Basic library Standard with one module."""
    return [CONTAINER] + [text.format(module, escape(source)) for text in MODULE]


def macro_book(path):
    files = dict(zip(["content.xml", "Basic/script-lc.xml", "Basic/Standard/script-lb.xml",
                      "Basic/Standard/Module1.xml"], [CONTENT] + basic("Module1", DOCUMENT_MACROS)))
    kinds = [(name, "text/xml") for name in files] + [("Basic/", ""), ("Basic/Standard/", "")]
    entries = "".join(f' <manifest:file-entry manifest:full-path="{name}" '
                      f'manifest:media-type="{kind}"/>\n' for name, kind in kinds)
    with zipfile.ZipFile(path, "w") as book:
        book.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        book.writestr("META-INF/manifest.xml", MANIFEST.format(entries=entries))
        for name, text in files.items():
            book.writestr(name, text, zipfile.ZIP_DEFLATED)


def user_macros(profile, mark):
    folder = Path(profile, "user", "basic")
    (folder / "Standard").mkdir(parents=True, exist_ok=True)
    source = f'Sub PersonalTidy\n    Open "{mark}" For Output As #1\n    Print #1, "ran"\n    Close #1\nEnd Sub\n'
    for name, text in zip(["script.xlc", "Standard/script.xlb", "Standard/Personal.xba"],
                          basic("Personal", source)):
        (folder / name).write_text(text, encoding="utf-8")


def read_xls(path):
    def value(cell):  # a date: days since 30 December 1899, read to the millisecond
        if cell.ctype == xlrd.XL_CELL_DATE:
            return {"date": (datetime(1899, 12, 30) + timedelta(milliseconds=round(cell.value * 86400000))).isoformat(timespec="milliseconds")}
        return cell.value if cell.ctype == xlrd.XL_CELL_NUMBER else str(cell.value)

    json.dump([[[row + 1, column + 1, value(cell)]
                for row in range(sheet.nrows) for column, cell in enumerate(sheet.row(row))
                if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)]
               for sheet in xlrd.open_workbook(path).sheets()], sys.stdout)


if __name__ == "__main__":
    {"macrobook": macro_book, "usermacros": user_macros, "readxls": read_xls}[sys.argv[1]](*sys.argv[2:])
