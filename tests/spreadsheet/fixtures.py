#!/usr/bin/python3
"""Files the spreadsheet tests need, made and read without the office.

  fixtures.py macrobook PATH           an .ods whose Basic module Module1 holds Tidy, Fails, CloseMe
  fixtures.py usermacros PROFILE MARK  "My Macros": PersonalTidy writes "ran" into the file MARK
  fixtures.py readxls PATH             every cell of an .xls read by xlrd, as JSON sheets of cells
                                       [row, column, number or text], 1-based
"""

import json
import os
import sys
import zipfile
from xml.sax.saxutils import escape

DOCUMENT_MACROS = """Sub Tidy
    ThisComponent.Sheets.getByIndex(0).getCellByPosition(9, 0).setString("tidied")
End Sub

Sub Fails
    Dim divisor As Integer
    divisor = 0
    ThisComponent.Sheets.getByIndex(0).getCellByPosition(9, 1).setValue(1 / divisor)
End Sub

Sub CloseMe
    ThisComponent.close(True)
End Sub
"""

LIBRARIES = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:libraries PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "libraries.dtd">
<library:libraries xmlns:library="http://openoffice.org/2000/library" xmlns:xlink="http://www.w3.org/1999/xlink">
 <library:library library:name="Standard" {link}/>
</library:libraries>
"""

LIBRARY = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false">
{elements}</library:library>
"""

MODULE = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE script:module PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "module.dtd">
<script:module xmlns:script="http://openoffice.org/2000/script" script:name="{name}" script:language="StarBasic">{source}</script:module>
"""

CONTENT = """<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2">
 <office:body><office:spreadsheet><table:table table:name="Sheet1">
  <table:table-row><table:table-cell/></table:table-row>
 </table:table></office:spreadsheet></office:body>
</office:document-content>
"""

MANIFEST = """<?xml version="1.0" encoding="UTF-8"?>
<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">
 <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>
{entries}</manifest:manifest>
"""


def macro_book(path):
    files = {"content.xml": CONTENT,
             "Basic/script-lc.xml": LIBRARIES.format(link='library:link="false"'),
             "Basic/Standard/script-lb.xml":
                 LIBRARY.format(elements=' <library:element library:name="Module1"/>\n'),
             "Basic/Standard/Module1.xml":
                 MODULE.format(name="Module1", source=escape(DOCUMENT_MACROS))}
    kinds = [(name, "text/xml") for name in files] + [("Basic/", ""), ("Basic/Standard/", "")]
    entries = "".join(f' <manifest:file-entry manifest:full-path="{name}" '
                      f'manifest:media-type="{kind}"/>\n' for name, kind in kinds)
    with zipfile.ZipFile(path, "w") as book:
        book.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        book.writestr("META-INF/manifest.xml", MANIFEST.format(entries=entries))
        for name, text in files.items():
            book.writestr(name, text, zipfile.ZIP_DEFLATED)


def user_macros(profile, mark):
    folder = os.path.join(profile, "user", "basic", "Standard")
    os.makedirs(folder, exist_ok=True)
    source = 'Sub PersonalTidy\n    Open "{0}" For Output As #1\n    Print #1, "ran"\n    Close #1\nEnd Sub\n'
    for path, text in [
            ("Standard/Personal.xba", MODULE.format(name="Personal", source=escape(source.format(mark)))),
            ("Standard/script.xlb", LIBRARY.format(elements=' <library:element library:name="Personal"/>\n')),
            ("script.xlc", LIBRARIES.format(link='library:link="false"'))]:
        with open(os.path.join(profile, "user", "basic", path), "w", encoding="utf-8") as file:
            file.write(text)


def read_xls(path):
    import xlrd

    value = lambda cell: cell.value if cell.ctype == xlrd.XL_CELL_NUMBER else str(cell.value)
    json.dump([[[row + 1, column + 1, value(cell)]
                for row in range(sheet.nrows) for column, cell in enumerate(sheet.row(row))
                if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)]
               for sheet in xlrd.open_workbook(path).sheets()], sys.stdout)


if __name__ == "__main__":
    commands = {"macrobook": macro_book, "usermacros": user_macros, "readxls": read_xls}
    commands[sys.argv[1]](*sys.argv[2:])
