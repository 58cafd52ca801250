#pragma once
// The program's eleven windows. They live from the first time they are asked for until the
// program ends; "open" and "close" mean show and hide. CreateForms builds and shows the
// chooser only: start-up pays for what the user sees first, and every other window is
// built, hidden, on its first use (nothing visible depends on when).

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class TForm11;

// A window that is built the first time it is asked for, while the window set exists
// (between CreateForms and DestroyForms). Before and after that, and while the window
// itself is being built, it reads as null, as a plain pointer to a window not yet created
// would.
template <typename T> class TLazyForm {
  public:
    T *get();
    operator T *() { return get(); }
    T *operator->() { return get(); }
    // The window if it has been built; never builds it.
    T *existing() const { return Form; }
    // Destroys the window, if it was built.
    void destroy();

  private:
    T *Form = nullptr;
    bool Building = false;
};

extern TForm1 *Form1;
extern TLazyForm<TForm2> Form2;
extern TLazyForm<TForm3> Form3;
extern TLazyForm<TForm4> Form4;
extern TLazyForm<TForm5> Form5;
extern TLazyForm<TForm6> Form6;
extern TLazyForm<TForm7> Form7;
extern TLazyForm<TForm8> Form8;
extern TLazyForm<TForm9> Form9;
extern TLazyForm<TForm10> Form10;
extern TLazyForm<TForm11> Form11;

// Makes the window set exist and shows the chooser, the one window built at once.
void CreateForms();
// Destroys the windows built so far (tests create a fresh set per test).
void DestroyForms();
