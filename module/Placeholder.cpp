int kivo_placeholder;
