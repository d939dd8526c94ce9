#pragma once
// The four windows of the program, each a single instance that lives for the whole run and is
// reachable by name. CreateForms makes them in their fixed order; until then, and after
// DestroyForms, the pointers are null.

namespace parvell {

class TForm1;
class TForm2;
class TForm3;
class TForm4;

extern TForm1* Form1;  // the main window
extern TForm2* Form2;  // the result grid
extern TForm3* Form3;  // the extraction progress
extern TForm4* Form4;  // the holder of the label report

// Creates Form1 (whose FormCreate runs here, before the others exist), then Form2, Form3 and
// Form4, all hidden.
void CreateForms();

// Destroys the windows, last created first.
void DestroyForms();

}  // namespace parvell
