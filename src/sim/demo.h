// The scripted story that shows the product on one machine.
#ifndef SIM_DEMO_H_
#define SIM_DEMO_H_

// Plays the story in a fresh temporary data directory (removed afterwards
// when `clean`). Returns the exit status.
int RunDemo(bool clean);

#endif  // SIM_DEMO_H_
