// Entry point of Orvalis; the main window arrives with the window layer.
int main() { return 0; }
