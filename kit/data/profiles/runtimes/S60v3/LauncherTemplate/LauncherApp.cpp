// Launcher for the Varnel program "%s".
// Starts the Varnel interpreter on the program file that the package installs
// in this application's private directory, then exits.

#include <apgcli.h>
#include <apacmdln.h>
#include <e32base.h>
#include <e32std.h>
#include <f32file.h>

const TUid KUidLauncherApp = { 0x%s };

_LIT(KInterpreter, "VarnelInterpreter.exe");
_LIT(KProgramFormat, "%%Sprogram");

LOCAL_C void StartInterpreterL()
{
    RFs fs;
    User::LeaveIfError(fs.Connect());
    CleanupClosePushL(fs);

    TFileName privatePath;
    User::LeaveIfError(fs.PrivatePath(privatePath));
    TFileName program;
    program.Format(KProgramFormat, &privatePath);

    RProcess interpreter;
    User::LeaveIfError(interpreter.Create(KInterpreter, program));
    interpreter.Resume();
    interpreter.Close();

    CleanupStack::PopAndDestroy(&fs);
}

GLDEF_C TInt E32Main()
{
    __UHEAP_MARK;
    CTrapCleanup* cleanup = CTrapCleanup::New();
    TRAPD(error, StartInterpreterL());
    delete cleanup;
    __UHEAP_MARKEND;
    return error;
}
