#pragma once

// Before any window is built: Qt's own dialogs in Russian, the design's faces registered.
void prepareApplication();

// Creates every window and the data module once, in the program's fixed order, into the
// globals of their names. Throws Error when the database access objects cannot be made.
void createForms();

// createForms() in two steps, as the program starts: the main window and the data module
// before the main window is shown (a failure is then still a start-up failure), the windows no
// one sees until a menu opens them right after. The second does nothing once they exist.
void createMainForm();
void createOtherForms();

// Destroys what createForms() made (program end, and between GUI tests).
void destroyForms();
