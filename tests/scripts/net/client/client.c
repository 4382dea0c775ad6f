// The engine as a client of an echo peer whose port is in port.txt: bytes go
// out and come back in order, a full ring takes 8191 bytes, and a closed
// session answers -1.
#include "tob.h"  // copied beside the script by run_net.sh
#include "check.h"  // likewise

int read_port()
{
    void *f;
    char line[16];
    f = fopen("port.txt", "r");
    if (f == 0) return 0;
    fgets(line, 16, f);
    fclose(f);
    return atoi(line);
}

// Receives `len` bytes into buf within about five seconds; the count received.
int receive(char *buf, int len)
{
    int got;
    int n;
    int tries;
    got = 0;
    for (tries = 0; got < len && tries < 500; tries++) {
        n = net_recv(0, buf + got, len - got);
        if (n < 0) return got;
        got = got + n;
        if (n == 0) sleep(10);
    }
    return got;
}

int main()
{
    char buf[9000];
    char *big;
    int port;
    int tries;
    int i;
    int ok;

    port = read_port();
    check(port > 0, "the peer's port");
    check(net_open("127.0.0.1", port) == 1, "net_open as a client");
    for (tries = 0; net_state() == 2 && tries < 500; tries++) sleep(10);
    check(net_state() == 1, "connected");

    check(net_send(0, "hello\n", 6) == 6, "net_send");
    check(receive(buf, 6) == 6 && memcmp(buf, "hello\n", 6) == 0, "the echo comes back");

    big = malloc(10000);
    for (i = 0; i < 10000; i++) big[i] = i % 251;
    check(net_send(3, big, 10000) == 8191, "a full ring takes 8191 bytes");
    ok = receive(buf, 8191) == 8191;
    for (i = 0; ok && i < 8191; i++) ok = buf[i] == big[i];
    check(ok, "8191 bytes come back in order");
    free(big);

    check(net_close() == 1, "net_close");
    check(net_state() == 0, "no session after net_close");
    check(net_send(0, "x", 1) == -1 && net_recv(0, buf, 1) == -1, "no session gives -1");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
