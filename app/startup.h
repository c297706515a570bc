#pragma once

// Before any window is built: Qt's own dialogs in Russian, the design's faces registered.
void prepareApplication();

// Creates every window and the data module once, in the program's fixed order, into the
// globals of their names. Throws Error when the database access objects cannot be made.
void createForms();

// Destroys what createForms() made (program end, and between GUI tests).
void destroyForms();
