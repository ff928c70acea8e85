"""Where the wizard puts its controls over the skin, and the colours that the program's
controls rely on: shared by the drawing and the check of the pictures."""

# Colour of the background pixels that lie outside the window's region.
KEY = (255, 0, 255)
# Fill behind the check box and radio marks, the same as the check box
# control paints around its bitmap.
MARK_FILL = (71, 93, 173)

BG_W, BG_H = 584, 411

# Key-coloured pixels per row, from the outer edge inwards, for each corner
# of the background: 71 pixels in all, at most 8 rows and 7 pixels deep.
CORNER_ROWS = {
    "top-left": [6, 4, 3, 2, 1, 1, 1],
    "top-right": [6, 4, 3, 2, 1, 1, 1],
    "bottom-left": [6, 4, 3, 2, 1, 1, 1],
    "bottom-right": [6, 4, 3, 2, 1, 1],
}
KEY_PIXELS = 71
CORNER_MAX_ROWS, CORNER_MAX_WIDTH = 8, 7

# Where the wizard puts its controls over the background.
CLOSE_POS = (552, 11)
BUTTON_POS = [(312, 380), (451, 380)]
BUTTON_SIZE = (111, 22)
CLOSE_SIZE = (20, 17)

# Bands of the background, as (top, bottom) rows or (left, right) columns.
TITLE_BOTTOM = 44      # light grey title band: rows 0..43
HEADING_BOTTOM = 104   # dark blue heading band: rows 46..103
BUTTONS_TOP = 366      # grey button band: rows 366..410
PANEL_RIGHT = 190      # left picture panel: columns 0..189
