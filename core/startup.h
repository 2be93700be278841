// Start and end of both programs: main's body and ReadGlobalSetup.
#pragma once

// The body of main() of Vantrel and VantrelReview: 0 after a normal end, -1
// when start-up failed (no window was built).
int vantrel_main(int argc, char** argv);
// 1 when the program can go on; 0 when the working directory or the database cannot be had.
int ReadGlobalSetup();
