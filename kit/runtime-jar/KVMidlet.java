// The runtime's entry point, named by every package's manifest. The phone's
// application manager creates it and calls startApp; this demo runtime
// checks that the package carries the linked program and then ends, where a
// kit's runtime starts its interpreter on that program.
import javax.microedition.midlet.MIDlet;

public class KVMidlet extends MIDlet {
    protected void startApp() {
        if (getClass().getResourceAsStream("/program") == null) {
            System.out.println("KVMidlet: the package holds no program");
        }
        notifyDestroyed();
    }

    protected void pauseApp() {
    }

    protected void destroyApp(boolean unconditional) {
    }
}
