package javax.microedition.midlet;

// Compile-time stand-in for the phone's MIDlet base class: KVMidlet is
// compiled against it, and only KVMidlet goes into the runtime archive.
public abstract class MIDlet {
    protected MIDlet() {
    }

    protected abstract void startApp();

    protected abstract void pauseApp();

    protected abstract void destroyApp(boolean unconditional);

    public final void notifyDestroyed() {
    }
}
