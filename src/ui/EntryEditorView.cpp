#include "EntryEditorView.h"
