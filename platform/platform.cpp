// Linux side of the operating-system services the program takes from its host.
