#!/usr/bin/python3
"""Files the spreadsheet tests need, made and read without the office.

  fixtures.py macrobook PATH           an .ods whose Basic module Module1 holds Tidy, Fails, CloseMe
  fixtures.py usermacros PROFILE MARK  "My Macros": PersonalTidy writes "ran" into the file MARK
  fixtures.py readxls PATH             every cell of an .xls as JSON, read by xlrd: sheets, each
                                       a list of [row, column, "number" or "text", value], 1-based
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
 <office:body>
  <office:spreadsheet>
   <table:table table:name="Sheet1"><table:table-row><table:table-cell/></table:table-row></table:table>
  </office:spreadsheet>
 </office:body>
</office:document-content>
"""

MANIFEST = """<?xml version="1.0" encoding="UTF-8"?>
<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">
 <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>
 <manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>
 <manifest:file-entry manifest:full-path="Basic/" manifest:media-type=""/>
 <manifest:file-entry manifest:full-path="Basic/script-lc.xml" manifest:media-type="text/xml"/>
 <manifest:file-entry manifest:full-path="Basic/Standard/" manifest:media-type=""/>
 <manifest:file-entry manifest:full-path="Basic/Standard/script-lb.xml" manifest:media-type="text/xml"/>
 <manifest:file-entry manifest:full-path="Basic/Standard/Module1.xml" manifest:media-type="text/xml"/>
</manifest:manifest>
"""


def macro_book(path):
    with zipfile.ZipFile(path, "w") as book:
        book.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        book.writestr("content.xml", CONTENT, zipfile.ZIP_DEFLATED)
        book.writestr("META-INF/manifest.xml", MANIFEST, zipfile.ZIP_DEFLATED)
        book.writestr("Basic/script-lc.xml", LIBRARIES.format(link='library:link="false"'))
        book.writestr("Basic/Standard/script-lb.xml",
                      LIBRARY.format(elements=' <library:element library:name="Module1"/>\n'))
        book.writestr("Basic/Standard/Module1.xml",
                      MODULE.format(name="Module1", source=escape(DOCUMENT_MACROS)))


def user_macros(profile, mark):
    folder = os.path.join(profile, "user", "basic", "Standard")
    os.makedirs(folder, exist_ok=True)
    source = 'Sub PersonalTidy\n    Open "{0}" For Output As #1\n    Print #1, "ran"\n    Close #1\nEnd Sub\n'
    with open(os.path.join(folder, "Personal.xba"), "w", encoding="utf-8") as module:
        module.write(MODULE.format(name="Personal", source=escape(source.format(mark))))
    with open(os.path.join(folder, "script.xlb"), "w", encoding="utf-8") as library:
        library.write(LIBRARY.format(elements=' <library:element library:name="Personal"/>\n'))
    with open(os.path.join(profile, "user", "basic", "script.xlc"), "w", encoding="utf-8") as lc:
        lc.write(LIBRARIES.format(link='library:link="false"'))


def read_xls(path):
    import xlrd

    kinds = {xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_TEXT: "text"}
    sheets = [[[row + 1, column + 1, kinds.get(cell.ctype, "other"),
                 cell.value if cell.ctype == xlrd.XL_CELL_NUMBER else str(cell.value)]
               for row in range(sheet.nrows) for column, cell in enumerate(sheet.row(row))
               if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)]
              for sheet in xlrd.open_workbook(path).sheets()]
    json.dump(sheets, sys.stdout)


def main(argv):
    commands = {"macrobook": (macro_book, 1), "usermacros": (user_macros, 2),
                "readxls": (read_xls, 1)}
    command, count = commands.get(argv[1] if len(argv) > 1 else "", (None, -9))
    if len(argv) != count + 2:
        sys.stderr.write(__doc__)
        return 2
    command(*argv[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
