#pragma once

class QWidget;

// Gives every control under the window that the keyboard can reach, and that has no
// accessible name yet, the name a user sees for it: the text of the label it is the buddy of
// (without its access key and colon), else its own caption, else its tool tip. Screen readers
// and automation tools find the controls by these names.
void NameControlsForAccessibility(QWidget* window);
