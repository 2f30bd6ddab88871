// Entry point of 墨柘密码本.
int main() { return 0; }
